// vt_look_at(xDeg, yDeg): makes the simulated subject of every virtual tracker look at a
// direction, as a target shown there would. A test helper for Octave, which cannot look a C
// function up by itself: the virtual tracker is preloaded into Octave, so its
// saccadrix_vt_look_at is found among the process's symbols. Returns what that function
// returns (int32); raises an error when no virtual tracker is loaded.
#include <dlfcn.h>
#include <mex.h>

extern "C" __attribute__((visibility("default"))) void mexFunction(int nlhs, mxArray* plhs[],
                                                                   int nrhs,
                                                                   const mxArray* prhs[]) {
  (void)nlhs;
  if (nrhs != 2 || !mxIsDouble(prhs[0]) || !mxIsDouble(prhs[1]) || mxIsEmpty(prhs[0]) ||
      mxIsEmpty(prhs[1])) {
    mexErrMsgIdAndTxt("test:vt_look_at:inputs", "%s", "Two double inputs required.");
  }
  using LookAt = int (*)(double, double);
  void* symbol = dlsym(RTLD_DEFAULT, "saccadrix_vt_look_at");
  if (symbol == nullptr) {
    mexErrMsgIdAndTxt("test:vt_look_at:missing", "%s", "No virtual tracker is loaded.");
  }
  const auto look_at = reinterpret_cast<LookAt>(symbol);
  const int status = look_at(mxGetScalar(prhs[0]), mxGetScalar(prhs[1]));
  plhs[0] = mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL);
  *static_cast<int*>(mxGetData(plhs[0])) = status;
}
