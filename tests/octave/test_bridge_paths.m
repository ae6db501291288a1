## The bridge's paths for host errors and warnings, as the module takes them
## when something goes wrong.

## A host error inside a guarded call: Octave's error unwinds to the guard,
## which reports the call as ended with the message's ID and arguments.
[ended, id, args] = bridge_probe ("error", "Simulink:SFunctions:SimStructTooFewRHSArguments", "blk", 4);
if (ended != 1 || ! strcmp (id, "Simulink:SFunctions:SimStructTooFewRHSArguments")
    || ! isequal (args, {"blk", 4}))
  error ("guarded error: ended %d, id %s, %d arguments", ended, id, numel (args));
endif

## "error" with an identifier and a text, as the module raises a fault of its
## own: the text stands as it is, also where it reads like a format.
text = "handle [1; 2]: 100%d of %s";
[ended, id, args] = bridge_probe ("id and text", "Quarlin_msp:Probe", text);
if (ended != 1 || ! strcmp (id, "Quarlin_msp:Probe") || ! isequal (args, {text}))
  error ("guarded id and text: ended %d, id %s", ended, id);
endif
err = expect_error_id ("unguarded id and text", @() bridge_probe ("unguarded id and text", "Quarlin_msp:Probe", text),
                       "Quarlin_msp:Probe");
if (isempty (strfind (err.message, text)))
  error ("unguarded id and text: %s", err.message);
endif

## Any other Octave error in a guarded call ends it the same way.
[ended, id, text] = bridge_probe ("octave error");
if (ended != 1 || isempty (strfind (text, "quarlin_no_such_function")))
  error ("guarded Octave error: ended %d, id %s, text %s", ended, id, text);
endif

## Outside a guard the error reaches the interpreter with the module's ID.
err = expect_error_id ("unguarded", @() bridge_probe ("unguarded error", "Quarlin_msp:Probe", "x", 2.5),
                       "Quarlin_msp:Probe");
if (isempty (strfind (err.message, 'Quarlin_msp:Probe (x, 2.5)')))
  error ("unguarded error text: %s", err.message);
endif

## A host warning with a message object is an Octave warning with its ID,
## not a change of warning states.
lastwarn ("");
bridge_probe ("warning", "Quarlin_msp:ProbeWarning", "y");
[text, id] = lastwarn ();
if (! strcmp (id, "Quarlin_msp:ProbeWarning") || isempty (strfind (text, "Quarlin_msp:ProbeWarning (y)")))
  error ("warning: id %s, text %s", id, text);
endif

## Scopes: what a scope owns goes with it, a released array stays, and
## scopes left open close back to the depth taken before.
[leftover, kept] = bridge_probe ("scopes");
if (leftover != 0 || ! isequal (kept, struct ("a", 7)))
  error ("scopes: %d left open", leftover);
endif

## Octave goes on after all of it.
if (Quarlin_msp ([], [], [], 0)(20) != 8480229)
  error ("the module no longer answers");
endif
