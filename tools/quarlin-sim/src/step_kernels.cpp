#include "step_kernels.h"

#include <bit>
#include <cmath>

#include "failure.h"
#include "host/host_imports.h"
#include "scenario.h"
#include "subhost/control.h"

namespace quarlin_sim {

namespace {

size_t next(size_t k, size_t size) { return k + 1 == size ? 0 : k + 1; }

void stepModel(const InputSample& in, float& angle, float& speedRpm, Quarlin_B& rtb, Quarlin_DW& rtdw) {
    Quarlin(&in[0], &in[1], &in[2], &in[3], &angle, &speedRpm, &rtb, &rtdw);
    Quarlin_Update(&rtb, &rtdw);
}

StepTrace makeDefaultTrace() {
    StepTrace trace;
    PmsmScenario scenario{PmsmParams{}};
    const uint64_t steps = scenario.defaultSteps();
    Quarlin_B rtb{};
    Quarlin_DW rtdw{};
    Quarlin_Init(&rtdw);
    float angle = 0.0F;
    float speedRpm = 0.0F;
    for (uint64_t k = 0; k < steps; ++k) {
        trace.inputs.push_back(scenario.sample(k).input);
        scenario.advance(k);
        stepModel(trace.inputs.back(), angle, speedRpm, rtb, rtdw);
        trace.angles.push_back(angle);
    }
    return trace;
}

void check(const subhost::CallResult& result, const char* what) {
    if (!result) fail(std::string(what) + ": " + result.describe());
}

}  // namespace

const StepTrace& defaultTrace() {
    static const StepTrace trace = makeDefaultTrace();
    return trace;
}

// ---------------------------------------------------------------------------

ModelSteps::ModelSteps() : trace_(defaultTrace()) { Quarlin_Init(&rtdw_); }

void ModelSteps::run(size_t steps) {
    const size_t size = trace_.inputs.size();
    for (size_t i = 0; i < steps; ++i) {
        stepModel(trace_.inputs[k_], angle_, speedRpm_, rtb_, rtdw_);
        k_ = next(k_, size);
    }
}

// ---------------------------------------------------------------------------

struct BlockSteps::Batch {
    BlockSteps* self;
    size_t steps;
};

BlockSteps::BlockSteps(subhost::Module& module, Path path)
    : trace_(defaultTrace()), block_(module), path_(path), mexFunction_(module.mexFunction()) {
    check(block_.bind(), "the block refused its bind");
    check(block_.setUp(), "the block failed to set up");
    flagArray_ = mxCreateDoubleScalar_800(0.0);
    subhost_mx_release(flagArray_);
    plhs_[1] = reinterpret_cast<mxArray*>(block_.record());
    prhs_[3] = flagArray_;
    periodic_ = subhost_slmr_periodicOutputUpdateMethod(block_.record());
    if (path_ == Path::periodic && periodic_ == nullptr) fail("the block registered no periodic output-update method");
}

BlockSteps::~BlockSteps() { mxDestroyArray_800(flagArray_); }

// The whole batch runs under one entry guard and one array scope: a host
// error ends the batch, and run() reports it.
void BlockSteps::runBatch(void* context) {
    const Batch& batch = *static_cast<const Batch*>(context);
    BlockSteps& s = *batch.self;
    SimStruct* S = s.block_.record();
    const size_t size = s.trace_.inputs.size();
    double* flag = mxGetPr_800(s.flagArray_);
    for (size_t i = 0; i < batch.steps; ++i) {
        const InputSample& in = s.trace_.inputs[s.k_];
        s.k_ = next(s.k_, size);
        for (int port = 0; port < 4; ++port) *static_cast<float*>(S->inputPorts[port].signal) = in[port];
        if (s.path_ == Path::periodic) {
            s.periodic_(S, 0);
            continue;
        }
        S->sizes[sizes_index::callArg] = 0;
        flag[0] = subhost::flag::outputs;
        s.mexFunction_(subhost::host_call::nlhs, s.plhs_, subhost::host_call::nrhs, s.prhs_);
        flag[0] = subhost::flag::update;
        s.mexFunction_(subhost::host_call::nlhs, s.plhs_, subhost::host_call::nrhs, s.prhs_);
    }
}

void BlockSteps::run(size_t steps) {
    if (path_ == Path::engine) {
        const size_t size = trace_.inputs.size();
        for (size_t i = 0; i < steps; ++i) {
            const InputSample& in = trace_.inputs[k_];
            k_ = next(k_, size);
            for (int port = 0; port < 4; ++port) block_.setInput(port, in[port]);
            check(block_.outputs(0), "a step");
            check(block_.update(), "a step");
        }
        return;
    }
    Batch batch{this, steps};
    subhost_mx_beginScope();
    const int32_t ended = subhost_mex_guard(&BlockSteps::runBatch, &batch);
    subhost_mx_endScope();
    SimStruct* S = block_.record();
    if (ended != 0) fail("a step ended in a host error");
    if (ssRoot(S)->errorStatus != nullptr || S->localErrorStatus != nullptr) fail("a step reported an error");
}

// ---------------------------------------------------------------------------

TrigFloor::TrigFloor() : trace_(defaultTrace()) {}

void TrigFloor::run(size_t steps) {
    const size_t size = trace_.angles.size();
    uint32_t digest = digest_;
    for (size_t i = 0; i < steps; ++i) {
        const float theta = trace_.angles[k_];
        k_ = next(k_, size);
        const float c = muSingleScalarCos(theta);
        const float s = muSingleScalarSin(theta);
        digest += std::bit_cast<uint32_t>(c) ^ std::bit_cast<uint32_t>(s);
    }
    digest_ = digest;
}

}  // namespace quarlin_sim
