function call_with_outputs (gateway, n, args)
  % Calls gateway(args{:}) asking for n outputs by name, as [o1, ..., on] = gateway(...).
  % (A cs-list target such as [c{:}] = ... does not make Octave check that every output
  % was assigned.)
  names = strjoin (arrayfun (@(k) sprintf ("o%d", k), 1:n, "UniformOutput", false), ", ");
  eval (sprintf ("[%s] = gateway (args{:});", names));
endfunction
