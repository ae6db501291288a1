## MSG = message (ID, ARG1, ARG2, ...)
##
## The message object that a MEX extension hands to error or warning: a
## struct with the fields
##
##   identifier  ID, the message ID, e.g.
##               "Simulink:SFunctions:SimStructTooFewRHSArguments"
##   message     a text made of ID and the arguments:
##               "ID (ARG1, ARG2, ...)"
##   arguments   the arguments as given, in a cell row
##
## error (MSG) raises an error whose identifier is ID.
## Each argument is a text or a numeric or logical value.

function msg = message (id, varargin)
  if (nargin < 1 || ! ischar (id) || (! isempty (id) && rows (id) != 1))
    error ("quarlin:message:badId", "message: ID must be a text");
  endif
  parts = cell (1, numel (varargin));
  for k = 1:numel (varargin)
    parts{k} = argument_text (varargin{k});
  endfor
  text = id;
  if (! isempty (parts))
    text = sprintf ("%s (%s)", id, strjoin (parts, ", "));
  endif
  msg = struct ("identifier", id, "message", text);
  msg.arguments = varargin;
endfunction

function t = argument_text (a)
  if (ischar (a))
    t = sprintf ("%s", a.');
  elseif ((isnumeric (a) || islogical (a)) && isscalar (a) && isreal (a))
    t = sprintf ("%.17g", double (a));
  elseif (isnumeric (a) || islogical (a))
    t = mat2str (double (a), 17);
  else
    error ("quarlin:message:badArgument",
           "message: an argument of class %s is neither a text nor a number", class (a));
  endif
endfunction
