## Bad arguments and snapshots the block refuses raise "quarlin:..." errors;
## Octave goes on, and the next run is as good as ever.
u = repmat ([0.1, 1, -0.5, 6.97], 50, 1);
[y, snap] = quarlin_run (u);

rtdw = snap.mdlrefDW.rtdw;
names = fieldnames (rtdw);
short_state = rtdw;
short_state.(names{1}) = uint8 ([1, 2, 3]);
double_state = rtdw;
double_state.(names{2}) = double (rtdw.(names{2}));

## Trees the block refuses.
with = @(s, path, value) setfield (s, path{:}, value);
bad_snaps = {
  "tNext missing",           rmfield(snap, "tNext");
  "mdlrefDW missing",        rmfield(snap, "mdlrefDW");
  "fields reordered",        orderfields(snap);
  "rtb too short",           with(snap, {"mdlrefDW", "rtb"}, snap.mdlrefDW.rtb(1:27));
  "rtb empty",               with(snap, {"mdlrefDW", "rtb"}, uint8 ([]));
  "rtb of class double",     with(snap, {"mdlrefDW", "rtb"}, double (snap.mdlrefDW.rtb));
  "rtb a cell",              with(snap, {"mdlrefDW", "rtb"}, {snap.mdlrefDW.rtb});
  "state too short",         with(snap, {"mdlrefDW", "rtdw"}, short_state);
  "state of class double",   with(snap, {"mdlrefDW", "rtdw"}, double_state);
  "rtdw a number",           with(snap, {"mdlrefDW", "rtdw"}, 7);
  "tNextTid a text",         with(snap, {"tNextTid"}, "0");
  "a struct array",          [snap, snap];
  "a number",                42;
  "a cell",                  {snap};
  "a text",                  "snapshot";
  "empty",                   [];
  "tNextTid beyond 32 bits", with(snap, {"tNextTid"}, 1e10);
  "tNextTid fractional",     with(snap, {"tNextTid"}, 0.5);
};
for k = 1:rows (bad_snaps)
  expect_error_id (bad_snaps{k, 1}, @() quarlin_run (u, bad_snaps{k, 2}), "quarlin:snapshotRefused");
endfor

bad_inputs = {
  "three columns",   zeros(5, 3);
  "five columns",    zeros(5, 5);
  "complex",         complex(zeros(5, 4), 1);
  "int32",           int32(zeros(5, 4));
  "logical",         false(5, 4);
  "text",            "abcd";
  "cell",            {1, 2, 3, 4};
  "struct",          struct("u", zeros(5, 4));
  "three dimensions", zeros(5, 4, 2);
  "sparse",          sparse(zeros(5, 4));
};
for k = 1:rows (bad_inputs)
  expect_error_id (bad_inputs{k, 1}, @() quarlin_run (bad_inputs{k, 2}), "quarlin:badInput");
endfor

function call_with (nout, args)
  out = cell (1, nout);
  [out{:}] = quarlin_run (args{:});
endfunction
expect_error_id ("no arguments", @() call_with (1, {}), "quarlin:usage");
expect_error_id ("three arguments", @() call_with (1, {u, snap, snap}), "quarlin:usage");
expect_error_id ("four results", @() call_with (4, {u}), "quarlin:usage");

## Still running, and still right.
[y2, snap2] = quarlin_run (u);
expect_same_bits ("after the errors", y2, y);
expect_same_bits ("continued after the errors", quarlin_run (u, snap2), quarlin_run (u, snap));
