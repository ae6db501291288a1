// Host calls on a bound, set-up instance: any flag (integral or not, with or
// without a method), any callArg and callIntValue, any period and offset,
// any task id and any task index the host reports for the model's tasks,
// with pointers only as a host gives them: a dimension record for the
// dimension methods, a result slot for a snapshot save, a tree for a restore.
#include <climits>
#include <cstdint>
#include <vector>

#include "fuzz_arrays.h"
#include "fuzz_support.h"
#include "host/simstruc.h"

namespace {

using namespace quarlin_fuzz;

int32_t interestingInt(FuzzInput& in) {
    static constexpr int32_t kEdges[] = {0, 1, -1, 2, 3, 4, -2, -5, INT_MAX, INT_MIN, 100, -100};
    switch (in.choice(3)) {
        case 0: return kEdges[in.choice(sizeof kEdges / sizeof kEdges[0])];
        case 1: return static_cast<int8_t>(in.byte());
        default: return in.raw<int32_t>();
    }
}

double anyFlag(FuzzInput& in) {
    switch (in.choice(4)) {
        case 0:
        case 1: return 101.0 + in.choice(53);
        case 2: return 101.0 + in.choice(53) + 0.5;
        default: return interestingDouble(in);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ArrayScope scope;
    // The task indices the host answers for the model's tasks, asked at set-up.
    for (uint32_t n = in.choice(3); n > 0; --n) subhost_slmr_setTopTid(interestingInt(in), interestingInt(in));

    subhost::Block block(module());
    if (block.setUp().ok) {
        BlockInfo* info = block.record()->blockInfo;
        subhost::ArrayPtr saved;
        std::vector<int32_t> dims(8);
        DimsInfo dimsInfo{};
        for (int op = 0; op < 24 && !in.empty(); ++op) {
            for (int port = 0; port < 4; ++port) {
                if (in.flip()) block.setInput(port, in.raw<float>());
            }
            info->callIntValue = interestingInt(in);
            info->callPeriod = interestingDouble(in);
            info->callOffset = interestingDouble(in);
            switch (in.choice(8)) {
                case 0: (void)block.outputs(interestingInt(in)); break;
                case 1: (void)block.periodicOutputUpdate(interestingInt(in)); break;
                case 2: (void)block.reset(); break;
                case 3: (void)block.initializeConditions(); break;
                case 4: (void)block.saveSimState(saved); break;
                case 5: {
                    ArrayScope inner;
                    const mxArray* tree = saved && in.flip() ? saved.get() : makeArray(in);
                    if (tree != nullptr) (void)block.restoreSimState(tree);
                    break;
                }
                case 6: {  // a dimension method with a record as the host makes one
                    dimsInfo.width = interestingInt(in);
                    dimsInfo.numDims = static_cast<int32_t>(in.choice(10)) - 1;
                    for (auto& d : dims) d = interestingInt(in);
                    dimsInfo.dims = dimsInfo.numDims > 0 ? dims.data() : nullptr;
                    info->callPtrValue = &dimsInfo;
                    (void)block.hostCall(in.flip() ? 126.0 : 127.0, interestingInt(in));
                    info->callPtrValue = nullptr;
                    break;
                }
                default: {
                    const double flag = anyFlag(in);
                    // Snapshot flags carry their pointers; the engine passes them.
                    if (flag >= 144.0 && flag < 146.0) break;
                    if (flag >= 126.0 && flag < 128.0) break;
                    (void)block.hostCall(flag, interestingInt(in));
                    break;
                }
            }
        }
        (void)block.terminate();
    }
    subhost_slmr_clearTopTids();
    subhost_mex_clearRecords();
    return 0;
}
