// The step paths that `quarlin-sim bench` and the benchmarks time, each on
// the default scenario's inputs: the model alone, one step through the
// loaded module's mexFunction (flags 104 and 105, the arguments the engine
// passes), one through the periodic output-update method, one through the
// engine's own step calls, and the host's cosine and sine of the angles the
// model estimates on those inputs.
//
// Each kernel keeps its place in the trace from one run() to the next, so
// that timing loops of any batch size step through the same inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "csv_input.h"
#include "model/Quarlin.h"
#include "subhost/engine.h"

namespace quarlin_sim {

// The default scenario's inputs, one per step of its 8000, and the angle
// output the model gives on each.
struct StepTrace {
    std::vector<InputSample> inputs;
    std::vector<float> angles;
};
const StepTrace& defaultTrace();

class ModelSteps {
public:
    ModelSteps();
    void run(size_t steps);
    float angle() const { return angle_; }
    float speedRpm() const { return speedRpm_; }

private:
    const StepTrace& trace_;
    size_t k_ = 0;
    Quarlin_B rtb_{};
    Quarlin_DW rtdw_{};
    float angle_ = 0.0F;
    float speedRpm_ = 0.0F;
};

// One block on the module, set up and initialised through the engine.
// Throws a Failure when the module refuses any of it, and from run() when a
// step reports an error.
class BlockSteps {
public:
    enum class Path {
        mexFunction,  // flag 104 then 105, straight into mexFunction
        periodic,     // the registered periodic output-update method, task 0
        engine,       // subhost::Block::outputs() then update()
    };
    BlockSteps(subhost::Module& module, Path path);
    ~BlockSteps();
    BlockSteps(const BlockSteps&) = delete;
    BlockSteps& operator=(const BlockSteps&) = delete;

    void run(size_t steps);
    float output(int port) const { return block_.output(port); }

private:
    struct Batch;
    static void runBatch(void* batch);

    const StepTrace& trace_;
    subhost::Block block_;
    Path path_;
    subhost::MexFunctionFn mexFunction_;
    size_t k_ = 0;
    // What the engine passes to mexFunction on a host call.
    mxArray* flagArray_ = nullptr;
    mxArray* plhs_[2] = {nullptr, nullptr};
    const mxArray* prhs_[4] = {nullptr, nullptr, nullptr, nullptr};
    MdlTidMethod periodic_ = nullptr;
};

// muSingleScalarCos then muSingleScalarSin of the trace's angles, through
// the host's library as the model calls them.
class TrigFloor {
public:
    TrigFloor();
    void run(size_t steps);
    uint32_t digest() const { return digest_; }

private:
    const StepTrace& trace_;
    size_t k_ = 0;
    uint32_t digest_ = 0;
};

}  // namespace quarlin_sim
