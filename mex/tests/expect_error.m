function expect_error (f, identifier, message_tail)
  % Calls f and requires it to raise an error with exactly this identifier and a message
  % ending in message_tail (Octave puts the function's name in front of a gateway's message).
  try
    f ();
  catch err
    if (! strcmp (err.identifier, identifier))
      error ("test:wrongError", "%s raised identifier '%s' (\"%s\"), expected '%s'", ...
             func2str (f), err.identifier, err.message, identifier);
    endif
    if (! endsWith (err.message, message_tail))
      error ("test:wrongError", "%s raised \"%s\", expected a message ending in \"%s\"", ...
             func2str (f), err.message, message_tail);
    endif
    return;
  end_try_catch
  error ("test:noError", "%s raised no error, expected '%s'", func2str (f), identifier);
endfunction
