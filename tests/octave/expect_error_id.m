## expect_error_id (WHAT, FN, ID): FN () must raise an error whose identifier
## is ID; an ID ending in ":" names a prefix.  Returns the error.
function err = expect_error_id (what, fn, id)
  err = [];
  try
    fn ();
  catch err
  end_try_catch
  if (isempty (err))
    error ("%s: no error, expected %s", what, id);
  endif
  if (id(end) == ":")
    ok = strncmp (err.identifier, id, numel (id));
  else
    ok = strcmp (err.identifier, id);
  endif
  if (! ok)
    error ("%s: error %s (%s), expected %s", what, err.identifier, err.message, id);
  endif
endfunction
