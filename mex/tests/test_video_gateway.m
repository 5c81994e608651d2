function test_video_gateway ()
  % zelSaccadrixGS: dispatch, input counts, and recordings from the test camera (a GStreamer
  % plug-in on GST_PLUGIN_PATH) that play to the end. Files go into the working folder.
  unwind_protect
    % First, while no function handle keeps the gateway loaded.
    clear_during_recording ();
    checks (@zelSaccadrixGS);
  unwind_protect_cleanup
    % Never leave a pipeline running, whatever failed.
    zelSaccadrixGS (26);
  end_unwind_protect
endfunction

function checks (gs)
  % ---- Dispatch and input counts -----------------------------------------------------------
  expect_error (@() gs (), "MyToolbox:arrayProduct:nrhs", "No option selected.");
  expect_error (@() gs (25), "MATLAB:mexVideoStartRecord:invalidNumInputs", ...
                "Two inputs required.");
  expect_error (@() gs (25, "a", "b"), "MATLAB:mexVideoStartRecord:invalidNumInputs", ...
                "Two inputs required.");
  expect_error (@() gs (26, 1), "MATLAB:mexVideoStopRecord:invalidNumInputs", ...
                "One input required.");
  expect_error (@() gs (26.9, 1), "MATLAB:mexVideoStopRecord:invalidNumInputs", ...
                "One input required.");
  % Codes other than 25 and 26 (the device gateway's among them) do nothing.
  for code = {0, 6, 24, 24.99, 27, -25, NaN, Inf, [], {25}, "a", struct("a", 25)}
    expect_no_output (gs, code{1});
    expect_no_output (gs, code{1}, "unused.avi");
  endfor
  assert (! exist (fullfile (pwd (), "unused.avi"), "file"), "no recording was started");

  % ---- Recording ----------------------------------------------------------------------------
  first = fullfile (pwd (), "clip.avi");
  unlink_if_there (first);
  expect_value (gs (25, first), int32 (0), "option 25 starts recording");
  wait_until (@() avi_frames (first) >= 12, "frames of the first recording");
  expect_value (gs (26), int32 (0), "option 26 stops it");
  check_recording (first, 10);

  % A new recording while one runs finishes the first file.
  third = fullfile (pwd (), "third.avi");
  fourth = fullfile (pwd (), "fourth.avi");
  expect_value (gs (25, third), int32 (0), "third recording");
  wait_until (@() avi_frames (third) >= 7, "frames of the third recording");
  expect_value (gs (25, fourth), int32 (0), "fourth recording replaces the third");
  wait_until (@() avi_frames (fourth) >= 7, "frames of the fourth recording");
  expect_value (gs (26), int32 (0), "stop the fourth");
  check_recording (third, 5);
  check_recording (fourth, 5);

  % ---- Paths that cannot be written ---------------------------------------------------
  % A name that is not text reaches the library as an empty path: a negative int32 status.
  for not_text = {42, {first}, struct("a", 1), []}
    status = gs (25, not_text{1});
    assert (isa (status, "int32") && status < 0, "a non-text path fails with a status");
    expect_value (gs (26), int32 (0), "stop after a failed start");
  endfor
  status = gs (25, fullfile (pwd (), "no-such-folder", "x.avi"));
  assert (isa (status, "int32") && status < 0, "an unwritable path fails with a status");
  expect_value (gs (26), int32 (0), "stop with nothing running");
  expect_value (gs (26), int32 (0), "stop twice");
  % Only the first row's worth of columns: a two-row name passes two characters.
  unlink_if_there ("ac");
  expect_value (gs (25, ["ab"; "cd"]), int32 (0), "two-row path");
  wait_until (@() avi_frames ("ac") >= 5, "frames of the two-row recording");
  expect_value (gs (26), int32 (0), "stop the two-row recording");
  check_recording (fullfile (pwd (), "ac"), 3);
  % Wrong numbers of outputs are Octave's error, not a crash.
  expect_error (@() call_with_outputs (gs, 2, {26}), "", ...
                "element number 2 undefined in return list");
endfunction

function clear_during_recording ()
  % Clearing the gateways while a recording runs (clear all, clear functions) does not lose
  % the recording: the video gateway, and with it the video library, stay loaded, and the
  % recording is stopped and its file finished. 25.7 truncates to 25.
  file = fullfile (pwd (), "after_clear.avi");
  unlink_if_there (file);
  expect_value (zelSaccadrixGS (25.7, file), int32 (0), "option 25.7 records");
  wait_until (@() avi_frames (file) >= 12, "frames before clearing");
  for how = {"clear all", "clear functions", "clear zelSaccadrixGS"}
    evalin ("base", how{1});
    assert (mapped ("libSaccadrixGS.so"), "the video library stays loaded after %s", how{1});
    pause (0.2);
  endfor
  expect_value (zelSaccadrixGS (26), int32 (0), "stop after clearing the gateway");
  check_recording (file, 10);
endfunction

function yes = mapped (name)
  % Whether a file of this name is mapped into the process.
  yes = ! isempty (strfind (fileread ("/proc/self/maps"), ["/" name]));
endfunction

function check_recording (file, min_frames)
  % The file is a finished AVI: RIFF header with the right size, a movie list, and an index
  % of at least min_frames frames; when GStreamer's launcher is at hand, it plays to the end.
  fid = fopen (file, "r");
  assert (fid >= 0, "%s was written", file);
  bytes = fread (fid, Inf, "uint8=>uint8")';
  fclose (fid);
  assert (numel (bytes) > 12 && strcmp (char (bytes(1:4)), "RIFF") ...
          && strcmp (char (bytes(9:12)), "AVI "), "%s is an AVI file", file);
  riff_size = double (typecast (bytes(5:8), "uint32"));
  expect_value (riff_size + 8, numel (bytes), [file ": RIFF size covers the file"]);
  % Walk the top-level chunks.
  pos = 13; has_movie = false; index_entries = 0;
  while (pos + 7 <= numel (bytes))
    id = char (bytes(pos:pos+3));
    size = double (typecast (bytes(pos+4:pos+7), "uint32"));
    if (strcmp (id, "LIST") && strcmp (char (bytes(pos+8:pos+11)), "movi"))
      has_movie = true;
    elseif (strcmp (id, "idx1"))
      index_entries = size / 16;
    endif
    pos += 8 + size + mod (size, 2);
  endwhile
  assert (has_movie, "%s has a movie list", file);
  assert (index_entries >= min_frames, "%s: %d frames indexed, expected at least %d", ...
          file, index_entries, min_frames);
  launcher = getenv ("SACCADRIX_GST_LAUNCH");
  if (! isempty (launcher))
    [status, output] = system (sprintf ( ...
      "%s -q filesrc location=\"%s\" ! avidemux ! jpegdec ! fakesink 2>&1", launcher, file));
    assert (status == 0, "%s does not play: %s", file, output);
  endif
endfunction

function unlink_if_there (file)
  if (exist (file, "file"))
    delete (file);
  endif
endfunction
