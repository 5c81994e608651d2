function expect_value (actual, expected, what)
  % Requires actual to equal expected in class, size and value (NaN equal to NaN).
  if (! strcmp (class (actual), class (expected)))
    error ("test:wrongClass", "%s: class %s, expected %s", what, class (actual), class (expected));
  endif
  if (! isequal (size (actual), size (expected)))
    error ("test:wrongSize", "%s: size %s, expected %s", what, mat2str (size (actual)), ...
           mat2str (size (expected)));
  endif
  if (! isequaln (actual, expected))
    error ("test:wrongValue", "%s: %s, expected %s", what, mat2str (actual), mat2str (expected));
  endif
endfunction
