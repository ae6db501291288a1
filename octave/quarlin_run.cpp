// quarlin_run: runs a fresh block of the Quarlin_msp module on data, in Octave.
//
//   y = quarlin_run(u)               u: N×4 real double or single (i_alpha,
//                                    i_beta, v_alpha, v_beta), each value
//                                    rounded to binary32; y: N×2 single
//                                    (angle in rad, speed in rpm)
//   [y, snap] = quarlin_run(u)       also the block's snapshot after the last step
//   y = quarlin_run(u, snap)         restores snap before the first step
//   [y, snap, x] = quarlin_run(...)  x: N×7 single, the states as the data map
//                                    lists them, read after each step's output
//
// Bad arguments and a snapshot the block refuses raise an error whose
// identifier begins with "quarlin:"; nothing is stepped then.
#include <mex.h>

#include <dlfcn.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "quarlin_runner.h"

namespace {

using quarlin_octave::RunFailure;

constexpr const char* kUsage =
    "usage: y = quarlin_run(u), [y, snap] = quarlin_run(u), y = quarlin_run(u, snap), "
    "[y, snap, x] = quarlin_run(...)";

// The module lies beside this file.
std::string modulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || info.dli_fname == nullptr) {
        return "Quarlin_msp.mexa64";
    }
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "Quarlin_msp.mexa64";
}

// The inputs as binary32, or what is wrong with them.
std::optional<RunFailure> readInputs(const mxArray* u, std::vector<float>& inputs) {
    const bool isFloat = mxIsDouble(u) || mxIsSingle(u);
    if (!isFloat || mxIsComplex(u) || mxIsSparse(u) || mxGetNumberOfDimensions(u) != 2 ||
        mxGetN(u) != quarlin_octave::kInputCount) {
        return RunFailure{"quarlin:badInput",
                          "u must be a real N-by-4 double or single matrix "
                          "(columns i_alpha, i_beta, v_alpha, v_beta)"};
    }
    const size_t count = mxGetNumberOfElements(u);
    inputs.resize(count);
    if (count == 0) return std::nullopt;
    if (mxIsSingle(u)) {
        std::memcpy(inputs.data(), mxGetData(u), count * sizeof(float));
    } else {
        const double* values = mxGetPr(u);
        for (size_t i = 0; i < count; ++i) inputs[i] = static_cast<float>(values[i]);
    }
    return std::nullopt;
}

mxArray* singleMatrix(size_t rows, size_t columns) {
    return mxCreateNumericMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns), mxSINGLE_CLASS, mxREAL);
}

// Everything but raising the error, so that nothing of the run is alive when
// the error unwinds this call.
std::optional<RunFailure> run(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs < 1 || nrhs > 2) return RunFailure{"quarlin:usage", kUsage};
    if (nlhs > 3) return RunFailure{"quarlin:usage", kUsage};

    std::vector<float> inputs;
    if (auto bad = readInputs(prhs[0], inputs)) return bad;
    const size_t steps = mxGetM(prhs[0]);

    mxArray* y = singleMatrix(steps, quarlin_octave::kOutputCount);
    mxArray* x = nlhs >= 3 ? singleMatrix(steps, quarlin_octave::kStateCount) : nullptr;
    void* snapshot = nullptr;

    quarlin_octave::RunRequest request;
    request.modulePath = modulePath();
    request.inputs = inputs.data();
    request.steps = steps;
    request.snapshot = nrhs >= 2 ? prhs[1] : nullptr;
    request.outputs = static_cast<float*>(mxGetData(y));
    request.states = x != nullptr ? static_cast<float*>(mxGetData(x)) : nullptr;
    request.snapshotOut = nlhs >= 2 ? &snapshot : nullptr;
    if (auto failed = quarlin_octave::runBlock(request)) return failed;

    plhs[0] = y;
    if (nlhs >= 2) plhs[1] = static_cast<mxArray*>(snapshot);
    if (nlhs >= 3) plhs[2] = x;
    return std::nullopt;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    const std::optional<RunFailure> failed = run(nlhs, plhs, nrhs, prhs);
    if (failed) mexErrMsgIdAndTxt(failed->id.c_str(), "%s", failed->text.c_str());
}
