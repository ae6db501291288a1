## quarlin_run on the default scenario's inputs gives quarlin-sim's angle,
## speed and states bit for bit; a run split through its snapshot, also one
## kept in a MAT file by Octave, equals the whole run.
run_sim ("run --log-states -o whole.csv");
sim = sim_csv ("whole.csv");
u = [sim.i_alpha, sim.i_beta, sim.v_alpha, sim.v_beta];
n = rows (u);
if (n < 1000)
  error ("the default scenario ran only %d steps", n);
endif

[y, snap, x] = quarlin_run (u);
expect_same_bits ("angle", y(:, 1), sim.angle);
expect_same_bits ("speed", y(:, 2), sim.speed_rpm);
expect_same_bits ("states", x, [sim.x0, sim.x1, sim.x2, sim.x3, sim.x4, sim.x5, sim.x6]);
if (! isstruct (snap) || ! isfield (snap, "mdlrefDW"))
  error ("the snapshot is not the block's tree");
endif

## The same inputs as single give the same run.
expect_same_bits ("single inputs", quarlin_run (single (u)), y);

## Split in two through the snapshot, at a few places.
for k = [1, 2345, n - 1]
  [y1, s1] = quarlin_run (u(1:k, :));
  y2 = quarlin_run (u(k+1:end, :), s1);
  expect_same_bits (sprintf ("split at %d", k), [y1; y2], y);
endfor

## An empty run hands on the snapshot unchanged.
k = 4000;
[~, s1] = quarlin_run (u(1:k, :));
[y0, s0] = quarlin_run (zeros (0, 4), s1);
expect_same_bits ("empty run", y0, zeros (0, 2));
expect_same_bits ("after an empty run", quarlin_run (u(k+1:end, :), s0), y(k+1:end, :));

## Through Octave's own MAT file.
save ("-v7", "split.mat", "s1");
clear s1
kept = load ("split.mat");
[y2, ~, x2] = quarlin_run (u(k+1:end, :), kept.s1);
expect_same_bits ("split through save -v7", [y(1:k, :); y2], y);
expect_same_bits ("states after save -v7", x2, x(k+1:end, :));
