## A snapshot that quarlin-sim kept in its MAT file, loaded in Octave,
## restores in quarlin_run and continues as quarlin-sim's restored run does.
k = 3000;
run_sim (sprintf ("run --log-states --at %d --save-state saved.mat -o whole.csv", k));
run_sim ("run --log-states --restore saved.mat -o restored.csv");
whole = sim_csv ("whole.csv");
restored = sim_csv ("restored.csv");
if (restored.step(1) != k)
  error ("quarlin-sim's restored run starts at step %d, not %d", restored.step(1), k);
endif

file = load ("saved.mat");
u = [restored.i_alpha, restored.i_beta, restored.v_alpha, restored.v_beta];
[y, ~, x] = quarlin_run (u, file.snapshot);
expect_same_bits ("angle", y(:, 1), restored.angle);
expect_same_bits ("speed", y(:, 2), restored.speed_rpm);
expect_same_bits ("states", x, [restored.x0, restored.x1, restored.x2, restored.x3, ...
                                restored.x4, restored.x5, restored.x6]);
## ... which is the whole run's end.
expect_same_bits ("whole run's end", y, [whole.angle(k+1:end), whole.speed_rpm(k+1:end)]);
