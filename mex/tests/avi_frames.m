function n = avi_frames (file)
  % Video frame chunks ("00db" as the muxer writes Motion-JPEG, or "00dc") written so far to
  % an AVI file, also while it grows (the file sink writes in blocks of 64 kB).
  n = 0;
  fid = fopen (file, "r");
  if (fid < 0)
    return;
  endif
  bytes = fread (fid, Inf, "uint8=>char")';
  fclose (fid);
  n = numel (strfind (bytes, "00db")) + numel (strfind (bytes, "00dc"));
endfunction
