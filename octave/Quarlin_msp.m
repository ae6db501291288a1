## S = Quarlin_msp ([], [], [], 0)
## S = Quarlin_msp ([], [], [], 0, P1, ...)
##
## The Quarlin_msp block module, loaded by Octave as a MEX extension
## (Quarlin_msp.mex beside this file).
##
## From the command line it answers the sizes query: S is the 40-by-1
## column of the block's sizes and options (S(3) outputs, S(4)
## inputs, S(7) sample times, S(20) the record version 8480229).
## Arguments after the fourth are kept as the block's parameters.
##
## Every wrong call raises an error whose identifier is the module's message
## ID, e.g. Simulink:SFunctions:SimStructForthRHSArgIsNotInteger for a
## fourth argument that is not an integer.  quarlin_run runs the block
## on data.
##
## This file holds the help text; the module is Quarlin_msp.mex beside it.

function varargout = Quarlin_msp (varargin)
  error ("quarlin:notBuilt", "Quarlin_msp: Quarlin_msp.mex is missing beside %s",
         mfilename ("fullpath"));
endfunction
