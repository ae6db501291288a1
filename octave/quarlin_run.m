## Y = quarlin_run (U)
## [Y, SNAP] = quarlin_run (U)
## Y = quarlin_run (U, SNAP)
## [Y, SNAP, X] = quarlin_run (...)
##
## Run a fresh block of the Quarlin_msp module on data, one step (1e-4 s) per
## row of U.
##
## U is an N-by-4 real double or single matrix, columns i_alpha, i_beta,
## v_alpha, v_beta; each value is rounded to single precision.  Y is
## N-by-2 single: the estimated electrical angle (rad) and speed (rpm).
##
## SNAP (second result) is the block's snapshot after the last step, the
## tree as the module made it.  Given as second argument, a snapshot (also one
## kept in a MAT file, by Octave or by quarlin-sim) is restored into the fresh
## block before its first step, so that a run split in two equals the whole
## run bit for bit.
##
## X is N-by-7 single: the seven states as the block's data map lists
## them, read after each step's output.
##
## Errors: quarlin:badInput for a U that is not a real N-by-4 double or
## single matrix, quarlin:snapshotRefused for a SNAP that the block refuses,
## quarlin:usage for the wrong number of arguments or results.  Nothing is
## stepped then.
##
## This file holds the help text; the function is quarlin_run.mex beside it.

function varargout = quarlin_run (varargin)
  error ("quarlin:notBuilt", "quarlin_run: quarlin_run.mex is missing beside %s",
         mfilename ("fullpath"));
endfunction
