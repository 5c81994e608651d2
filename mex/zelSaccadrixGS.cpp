// zelSaccadrixGS(option, ...): the MATLAB / GNU Octave gateway of the video library.
//
//   status = zelSaccadrixGS(25, path)   record the tracker's camera to path (no preview)
//   status = zelSaccadrixGS(26)         finish the recording
//
// The option codes continue those of zelSaccadrix (0 to 24), so the two gateways never
// share one. The gateway keeps no state; the video library keeps its pipeline between calls.
#include "gateway.h"
#include "saccadrix/saccadrix_gs.h"

namespace {

using saccadrix::gateway::Option;
using saccadrix::gateway::Outputs;
using saccadrix::gateway::StringInput;

// Starts a recording without a preview: the video library is set up with no window first,
// which also stops whatever it ran before, so the frames that are not recorded go to a
// hidden sink and stopping the recording brings no preview back.
void mexVideoStartRecord(Outputs& out, const mxArray* const prhs[]) {
  const char* path = StringInput(prhs[1]);
  auto status = out.Int32(0);
#if defined(__APPLE__)
  (void)zelSaccadrixVideoInit(0);
#else
  (void)zelSaccadrixVideoInit(0, false);
#endif
  status.Store(zelSaccadrixVideoStartRecord(path));
}

void mexVideoStopRecord(Outputs& out, const mxArray* const[]) {
  auto status = out.Int32(0);
  status.Store(zelSaccadrixVideoStopRecord());
}

// Row k serves option code 25 + k.
constexpr int kFirstOption = 25;
constexpr Option kOptions[] = {
    {mexVideoStartRecord, 2, "MATLAB:mexVideoStartRecord:invalidNumInputs",
     "Two inputs required."},
    {mexVideoStopRecord, 1, "MATLAB:mexVideoStopRecord:invalidNumInputs", "One input required."},
};

}  // namespace

extern "C" SACCADRIX_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                 const mxArray* prhs[]) {
  saccadrix::gateway::Dispatch(kOptions, kFirstOption, nlhs, plhs, nrhs, prhs);
}
