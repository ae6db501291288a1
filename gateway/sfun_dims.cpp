// Port dimensions through the host's port-dimension functions, and a port's
// current width from the record.

#include <climits>
#include <cstdint>

#include "gateway/sfun_support.h"
#include "host/simstruc.h"

const DimsInfo DYNAMIC_DIMENSION_DEF = {-1, -1, nullptr, nullptr};
const DimsInfo* const DYNAMIC_DIMENSION = &DYNAMIC_DIMENSION_DEF;

namespace {

// Without the host's function the dimensions are taken as accepted.
int32_t handToHost(PortDimsFcn fcn, SimStruct* S, int32_t port, const DimsInfo& info) {
    return fcn != nullptr ? fcn(S, port, &info) : 1;
}

PortDimsFcn inputDimsFcn(const SimStruct* S) {
    return S->blockInfo != nullptr ? S->blockInfo->inputPortDimsFcn : nullptr;
}

PortDimsFcn outputDimsFcn(const SimStruct* S) {
    return S->blockInfo != nullptr ? S->blockInfo->outputPortDimsFcn : nullptr;
}

int32_t setVectorDimension(PortDimsFcn fcn, SimStruct* S, int32_t port, int32_t width) {
    DimsInfo info = *DYNAMIC_DIMENSION;
    info.numDims = 1;
    info.width = width;
    info.dims = &info.width;  // the single dimension is the width
    return handToHost(fcn, S, port, info);
}

// The width of a rows × columns port, or false when the product does not fit
// a signed 32-bit width.  -1 (not yet known) and kWidthFromCurrentDims pass
// through as widths.  A column count of 0 gives width 0: the quotient test
// would divide by it, and nothing times 0 can overflow.
bool matrixWidth(int32_t rows, int32_t columns, int32_t* width) {
    if (rows == -1 || columns == -1) {
        *width = -1;
    } else if (rows == kWidthFromCurrentDims || columns == kWidthFromCurrentDims) {
        *width = kWidthFromCurrentDims;
    } else if (columns == 0) {
        *width = 0;
    } else if (rows > INT_MAX / columns) {
        return false;
    } else {
        // The quotient test lets two negative counts through; their product
        // may still not fit.
        const int64_t product = int64_t{rows} * columns;
        if (product > INT_MAX || product < INT_MIN) return false;
        *width = static_cast<int32_t>(product);
    }
    return true;
}

int32_t setMatrixDimensions(PortDimsFcn fcn, SimStruct* S, int32_t port, int32_t rows, int32_t columns) {
    DimsInfo info = *DYNAMIC_DIMENSION;
    int32_t dims[2] = {rows, columns};
    info.numDims = 2;
    info.dims = dims;
    if (!matrixWidth(rows, columns, &info.width)) return 0;
    return handToHost(fcn, S, port, info);
}

// A port whose width is only known from its current dimensions multiplies
// them; any other port has its fixed width.  A record without the run-time
// area has no current dimensions to multiply and keeps the fixed width.
int32_t currentWidth(int32_t width, int32_t numDims, int32_t dimsMode, const int32_t* currentDims) {
    if (dimsMode != 1 && width != kWidthFromCurrentDims) return width;
    if (numDims > 0 && currentDims == nullptr) return width;
    int64_t product = 1;
    for (int32_t i = 0; i < numDims; ++i) product *= currentDims[i];
    return static_cast<int32_t>(product);
}

}  // namespace

int32_t _ssSetInputPortVectorDimension(SimStruct* S, int32_t port, int32_t width) {
    return setVectorDimension(inputDimsFcn(S), S, port, width);
}

int32_t _ssSetOutputPortVectorDimension(SimStruct* S, int32_t port, int32_t width) {
    return setVectorDimension(outputDimsFcn(S), S, port, width);
}

int32_t _ssSetInputPortMatrixDimensions(SimStruct* S, int32_t port, int32_t rows, int32_t columns) {
    return setMatrixDimensions(inputDimsFcn(S), S, port, rows, columns);
}

int32_t _ssSetOutputPortMatrixDimensions(SimStruct* S, int32_t port, int32_t rows, int32_t columns) {
    return setMatrixDimensions(outputDimsFcn(S), S, port, rows, columns);
}

int32_t _ssGetCurrentInputPortWidth(SimStruct* S, int32_t port) {
    const InputPortRecord& input = S->inputPorts[port];
    return currentWidth(input.width, input.numDims, input.dimsMode,
                        S->inputPortCurrentDims != nullptr ? S->inputPortCurrentDims[port] : nullptr);
}

int32_t _ssGetCurrentOutputPortWidth(SimStruct* S, int32_t port) {
    const OutputPortRecord& output = S->outputPorts[port];
    return currentWidth(output.width, output.numDims, output.dimsMode,
                        S->outputPortCurrentDims != nullptr ? S->outputPortCurrentDims[port] : nullptr);
}
