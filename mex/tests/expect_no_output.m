function expect_no_output (gateway, varargin)
  % Requires gateway(varargin{:}) to return quietly without an output: called without one it
  % raises nothing, and asked for one it leaves it unassigned.
  gateway (varargin{:});
  try
    value = gateway (varargin{:});
  catch err
    if (isempty (strfind (err.message, "undefined")))
      error ("test:wrongError", "%s: unexpected error \"%s\"", disp_args (varargin), err.message);
    endif
    return;
  end_try_catch
  error ("test:unexpectedOutput", "%s returned an output", disp_args (varargin));
endfunction

function text = disp_args (args)
  text = strtrim (disp (args));
endfunction
