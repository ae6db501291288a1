## T = sim_csv (FILE): a run written by quarlin-sim as a struct of columns,
## one field per header name.
function t = sim_csv (file)
  fid = fopen (file, "r");
  if (fid < 0)
    error ("cannot open %s", file);
  endif
  header = fgetl (fid);
  fclose (fid);
  names = strsplit (strtrim (header), ",");
  data = dlmread (file, ",", 1, 0);
  if (columns (data) != numel (names))
    error ("%s: %d columns under %d names", file, columns (data), numel (names));
  endif
  t = struct ();
  for k = 1:numel (names)
    t.(names{k}) = data(:, k);
  endfor
endfunction
