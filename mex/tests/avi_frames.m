function n = avi_frames (file)
  % Motion-JPEG frame chunks ("00dc") written so far to an AVI file, also while it grows.
  n = 0;
  fid = fopen (file, "r");
  if (fid < 0)
    return;
  endif
  bytes = fread (fid, Inf, "uint8=>char")';
  fclose (fid);
  n = numel (strfind (bytes, "00dc"));
endfunction
