## run_sim (ARGS): runs quarlin-sim (the program named by $QUARLIN_SIM) with
## the text ARGS; its summary on standard error is dropped.
function run_sim (args)
  sim = getenv ("QUARLIN_SIM");
  if (isempty (sim))
    error ("QUARLIN_SIM names no program");
  endif
  [status, out] = system (sprintf ("'%s' %s 2>&1", sim, args));
  if (status != 0)
    error ("quarlin-sim %s failed (%d): %s", args, status, out);
  endif
endfunction
