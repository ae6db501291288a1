## -*- texinfo -*-
## @deftypefn {} {@var{msg} =} message (@var{id}, @var{arg1}, @var{arg2}, @dots{})
## The message object that a MEX extension hands to @code{error} or
## @code{warning}: a struct with the fields
##
## @table @code
## @item identifier
## @var{id}, the message ID, e.g. "Simulink:SFunctions:SimStructTooFewRHSArguments";
## @item message
## a text made of @var{id} and the arguments;
## @item arguments
## the arguments as given, in a cell row.
## @end table
##
## @code{error (@var{msg})} raises an error whose identifier is @var{id}.
## Each argument is a text or a numeric or logical value.
## @end deftypefn

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
