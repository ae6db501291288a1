## The sizes query in Octave: the 40x1 column, whatever the extra arguments,
## and a second argument that is not a three-row record handle is no bind.
expected = zeros (40, 1);
expected([3, 4, 7, 20, 24, 31, 32]) = [2, 4, 2, 8480229, 1744840738, 2, 1708546];

s = Quarlin_msp ([], [], [], 0);
if (! isa (s, "double") || ! isequal (size (s), [40, 1]) || ! isequal (s, expected))
  error ("sizes query: %s", mat2str (s'));
endif

## No result asked for: the column still comes back, as ans.
Quarlin_msp ([], [], [], 0);
if (! isequal (ans, expected))
  error ("sizes query without a result: %s", mat2str (ans'));
endif

cases = {
  "extra parameters",             {[], [], [], 0, 1.5, "gain", {1, 2}};
  "two-row handle",               {[], [1; 2], [], 0};
  "row handle",                   {[], [1, 2, 8480229], [], 0};
  "handle with a fractional mark", {[], [1; 2; 8480229.5], [], 0};
  "text handle",                  {[], "abc", [], 0};
  "single flag",                  {[], [], [], single(0)};
};
for k = 1:rows (cases)
  s = Quarlin_msp (cases{k, 2}{:});
  if (! isequal (s, expected))
    error ("%s: %s", cases{k, 1}, mat2str (s'));
  endif
endfor
