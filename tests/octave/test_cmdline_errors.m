## Every check of the command-line path raises an Octave error whose
## identifier is the module's message ID, and Octave goes on.
id = @(name) ["Simulink:SFunctions:SimStruct" name];

cases = {
  "three arguments",          1, {[], [], []},           id("TooFewRHSArguments");
  "three arguments, two results", 2, {[], [], []},       id("TooFewRHSArguments");
  "two results",              2, {[], [], [], 0},        id("TooManyLHSArguments");
  "empty flag",               1, {[], [], [], []},       id("ForthRHSArgIsNotInteger");
  "fractional flag",          1, {[], [], [], 0.5},      id("ForthRHSArgIsNotInteger");
  "NaN flag",                 1, {[], [], [], NaN},      id("ForthRHSArgIsNotInteger");
  "flag beyond 32 bits",      1, {[], [], [], 1e10},     id("ForthRHSArgIsNotInteger");
  "complex flag",             1, {[], [], [], complex(0, 0)}, id("ForthRHSArgIsNotInteger");
  "text flag",                1, {[], [], [], "0"},      id("ForthRHSArgIsNotInteger");
  "two flags",                1, {[], [], [], [0, 0]},   id("ForthRHSArgIsNotInteger");
  "flag 1",                   1, {[], [], [], 1},        id("InvalidFlagPassedToSfcn");
  "flag -3",                  1, {[], [], [], -3},       id("InvalidFlagPassedToSfcn");
};

function call_with (nout, args)
  out = cell (1, nout);
  [out{:}] = Quarlin_msp (args{:});
endfunction

for k = 1:rows (cases)
  err = expect_error_id (cases{k, 1}, @() call_with (cases{k, 2}, cases{k, 3}), cases{k, 4});
  ## The text names the message and its arguments.
  if (isempty (strfind (err.message, cases{k, 4})) || isempty (strfind (err.message, '"Quarlin_msp"')))
    error ("%s: message %s", cases{k, 1}, err.message);
  endif
endfor

## A record handle typed at the command line that names no record: the
## module's own identifier, and no crash.
mark = 8480229;
handles = {
  "null handle",             [0; 0; mark];
  "unaligned handle",        [1; 2; mark];
  "unmapped handle",         [4096; 0; mark];
  "non-canonical handle",    [0; -1; mark];
  "fractional address half", [4096.5; 0; mark];
};
for k = 1:rows (handles)
  expect_error_id (handles{k, 1}, @() Quarlin_msp ([], handles{k, 2}, [], 0), "Quarlin_msp:InvalidRecordHandle");
endfor

err = expect_error_id ("too few, text", @() Quarlin_msp ([], [], []), id("TooFewRHSArguments"));
if (isempty (strfind (err.message, ", 4)")))
  error ("too few arguments: the count is missing from %s", err.message);
endif

## Octave is still there, and so is the module.
s = Quarlin_msp ([], [], [], 0);
if (s(20) != 8480229)
  error ("query after the errors: %s", mat2str (s'));
endif
