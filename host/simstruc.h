// The host's block record as this module sees it.
//
// The simulation host makes one SimStruct per block instance and hands it to
// every method.  Its members are named by the role they play for the block;
// the layout is the host's, and the substitute host that ships with this
// project builds records of exactly this shape.
#pragma once

#include <cstddef>
#include <cstdint>

struct mxArray_tag;
using mxArray = mxArray_tag;

struct SimStruct;

// ---------------------------------------------------------------------------
// Function types the record carries.

// The host's generic service: (record, service code, integer, data).
using HostServiceFcn = int32_t (*)(SimStruct* S, int32_t code, int32_t intValue, void* data);

// Dimension information handed to the port-dimension functions.
struct DimsInfo {
    int32_t width;    // total number of elements; -1 when not yet known
    int32_t numDims;  // number of dimensions; -1 when not yet known
    int32_t* dims;    // size of each dimension; null when not yet known
    void* reserved;   // passed on unchanged
};
static_assert(sizeof(DimsInfo) == 24);

using PortDimsFcn = int32_t (*)(SimStruct* S, int32_t port, const DimsInfo* info);
using NumPortsFcn = int32_t (*)(void* arg, int32_t count);
using NumDWorkFcn = int32_t (*)(SimStruct* S, int32_t count);
using DataTypeSizeFcn = int32_t (*)(void* context, int32_t dataTypeId, int32_t byteSize);

// Code-generation record writers (first argument: recordWriterArg).
using RecordTextFcn = int32_t (*)(void* arg, const char* text);
using RecordPairFcn = int32_t (*)(void* arg, int32_t kind, const char* name, const void* value,
                                  int32_t dataTypeWord, int32_t rows, int32_t columns);
using RecordParamFcn = int32_t (*)(void* arg, int32_t kind, const char* name, const char* text,
                                   const void* value, int32_t dataTypeWord, int32_t rows,
                                   int32_t columns);

// Block methods.
using MdlMethod = void (*)(SimStruct* S);
using MdlTidMethod = void (*)(SimStruct* S, int32_t tid);
using MdlPortIntMethod = void (*)(SimStruct* S, int32_t port, int32_t value);
using MdlPortTimeMethod = void (*)(SimStruct* S, int32_t port, double period, double offset);
using MdlPortPtrMethod = void (*)(SimStruct* S, int32_t port, const void* value);
using MdlIntMethod = void (*)(SimStruct* S, int32_t value);
using MdlGetSimStateMethod = mxArray* (*)(SimStruct* S);
using MdlSetSimStateMethod = void (*)(SimStruct* S, const mxArray* snapshot);

// ---------------------------------------------------------------------------
// The sizes block: 40 signed 32-bit elements, returned as they are by the
// command-line entry.

namespace sizes_index {
inline constexpr int numContStates = 0;
inline constexpr int numDiscStates = 1;
inline constexpr int numOutputPorts = 2;
inline constexpr int numInputPorts = 3;
inline constexpr int callArg = 4;
inline constexpr int numSampleTimes = 6;
inline constexpr int numNonsampledZCs = 7;
inline constexpr int numIWork = 8;
inline constexpr int numRWork = 9;
inline constexpr int numPWork = 10;
inline constexpr int versionStamp = 19;
inline constexpr int numModes = 22;
inline constexpr int options = 23;
inline constexpr int element30 = 30;  // written by registration; its meaning is the host's
inline constexpr int flags = 31;
inline constexpr int count = 40;
}  // namespace sizes_index

// Bit fields of the flag word, element 31: (first bit, width).
struct BitField {
    int shift;
    int width;
};
namespace flag_bits {
inline constexpr BitField dimsInfoMethods{0, 1};
inline constexpr BitField portCountsSet{1, 1};
inline constexpr BitField registrationDone{9, 1};
inline constexpr BitField field11{11, 2};
inline constexpr BitField field17{17, 2};
inline constexpr BitField simStateHandling{19, 4};
}  // namespace flag_bits

// ---------------------------------------------------------------------------
// Ports, work vectors, states.

struct InputPortRecord {
    int32_t width;
    int32_t numDims;
    int32_t dimsMode;           // 2-bit dimensions mode
    int32_t dataTypeId;
    int32_t directFeedThrough;
    int32_t bufferDstPort;
    void* signal;               // null while the host provides no signal
    uint8_t optimOpts;          // 2-bit optimisation option
    // Host-defined attributes that registration writes and never reads.
    uint8_t attrTwoBit;         // cleared per port
    uint8_t attrOneBitA;        // set to 1
    uint8_t attrOneBitB;        // cleared
    uint8_t attrOneBitC;        // set to 1 late in registration
    double sampleTime;
    double offsetTime;
};

struct OutputPortRecord {
    int32_t width;
    int32_t numDims;
    int32_t dimsMode;
    int32_t dataTypeId;
    void* signal;
    uint8_t optimOpts;
    // Host-defined attributes that registration writes and never reads.
    uint8_t attrTwoBitA;        // cleared per port
    uint8_t attrTwoBitB;        // 2 on output 0, 3 on output 1
    uint8_t attrOneBitA;        // cleared late in registration
    uint8_t attrOneBitB;        // cleared late in registration
    double sampleTime;
    double offsetTime;
};

struct DWorkRecord {
    int32_t width;
    int32_t dataTypeId;
    void* data;                 // host-allocated memory of the work vector
};

struct StatesInfo {
    double* absTol;             // one per continuous state
    uint8_t* absTolSetByBlock;  // one per continuous state
    void* subRecordA;           // attached by the record maker, zero-filled
    void* subRecordB;
};

// ---------------------------------------------------------------------------
// Block-information area.

struct BlockInfo {
    int32_t hostMode;           // 1 in records made for a command-line query
    HostServiceFcn hostService; // null when no host stands behind the record
    int32_t callIntValue;
    void* callPtrValue;
    double callPeriod;
    double callOffset;
    PortDimsFcn inputPortDimsFcn;
    PortDimsFcn outputPortDimsFcn;
    RecordTextFcn recordTextFcn;
    RecordPairFcn recordPairFcn;
    RecordParamFcn recordParamFcn;
    void* recordWriterArg;
    char* msgBuffer;            // 1024 bytes
    uint8_t errorStatusIsDiagnostic;
};

// ---------------------------------------------------------------------------
// Method entries.  The input (output) width and dimension-information
// methods share one entry; dimsInfoMethods in the flag word says which kind
// the entry holds.

struct MethodEntries {
    MdlMethod mdlInitializeSizes;
    MdlMethod mdlSetWorkWidths;
    MdlMethod mdlInitializeSampleTimes;
    MdlMethod mdlSetupRuntimeResources;
    MdlMethod mdlCleanupRuntimeResources;
    MdlMethod mdlStart;
    MdlMethod mdlGetTimeOfNextVarHit;
    MdlTidMethod mdlOutputs;
    MdlTidMethod mdlUpdate;
    MdlMethod mdlZeroCrossings;
    MdlMethod mdlTerminate;
    MdlMethod mdlCheckParameters;
    MdlPortIntMethod mdlSetInputPortDataType;
    MdlPortIntMethod mdlSetOutputPortDataType;
    void (*mdlSetInputPortWidthOrDimensionInfo)();   // cast by dimsInfoMethods
    void (*mdlSetOutputPortWidthOrDimensionInfo)();
    MdlPortIntMethod mdlSetInputPortComplexSignal;
    MdlPortIntMethod mdlSetOutputPortComplexSignal;
    MdlPortTimeMethod mdlSetInputPortSampleTime;
    MdlPortTimeMethod mdlSetOutputPortSampleTime;
    MdlPortIntMethod mdlSetInputPortFrameData;
    MdlMethod mdlSetDefaultPortDimensionInfo;
    MdlMethod mdlSetDefaultPortDataTypes;
    MdlMethod mdlSetDefaultPortComplexSignals;
    MdlIntMethod mdlInitializePropagationPass;
    MdlPortIntMethod mdlSetInputPortSymbolicDimensions;
    MdlPortIntMethod mdlSetOutputPortSymbolicDimensions;
};

// ---------------------------------------------------------------------------
// The record.

struct SimStruct {
    // Identity and errors.
    const char* modelName;
    const char* path;
    SimStruct* root;                   // a record made for a query is its own root
    const char* errorStatus;           // root's: current error text (or diagnostic object)
    const char* localErrorStatus;      // the record's own
    char* localMsgBuffer;              // 1024 bytes, or null
    uint8_t localErrorStatusIsDiagnostic;

    int32_t sizes[sizes_index::count];
    BlockInfo* blockInfo;

    // Ports.
    NumPortsFcn numInputPortsFcn;
    void* numInputPortsArg;
    NumPortsFcn numOutputPortsFcn;
    void* numOutputPortsArg;
    InputPortRecord* inputPorts;
    OutputPortRecord* outputPorts;
    int32_t* inputPortTextIds;         // prepared by slmrInitializeIOPortDataVectors
    int32_t* outputPortTextIds;
    int32_t** inputPortCurrentDims;    // run-time area: current dimension sizes per port
    int32_t** outputPortCurrentDims;

    // Rates.
    double* samplePeriods;
    double* sampleOffsets;
    double tNext;
    int32_t tNextTid;

    // Memory.
    NumDWorkFcn numDWorkFcn;
    DataTypeSizeFcn dataTypeSizeFcn;
    void* dataTypeContext;
    int32_t numDWork;                  // set by the host's numDWorkFcn
    DWorkRecord* dWorks;
    int32_t* iWork;
    double* rWork;
    void** pWork;
    StatesInfo* states;
    int32_t numDialogParams;
    const mxArray** dialogParams;

    MethodEntries methods;
    void* hostExtension;               // tested for presence only
    uint8_t recordAttrFourBit;         // host-defined, set to 2 by registration
};

// ---------------------------------------------------------------------------
// Accessors for the sizes block and its flag word.

inline int32_t& ssSizesElement(SimStruct* S, int index) { return S->sizes[index]; }

// Reads `field` of a 32-bit word; a width of 32 or more keeps all 32 bits.
inline uint32_t ssReadBits(uint32_t word, BitField field) {
    if (field.width >= 32) return word >> field.shift;
    return (word >> field.shift) & ((uint32_t{1} << field.width) - 1u);
}

inline uint32_t ssWriteBits(uint32_t word, BitField field, uint32_t value) {
    const uint32_t ones = field.width >= 32 ? ~uint32_t{0} : ((uint32_t{1} << field.width) - 1u);
    const uint32_t mask = ones << field.shift;
    return (word & ~mask) | ((value << field.shift) & mask);
}

inline uint32_t ssGetFlagBits(const SimStruct* S, BitField field) {
    return ssReadBits(static_cast<uint32_t>(S->sizes[sizes_index::flags]), field);
}

inline void ssSetFlagBits(SimStruct* S, BitField field, uint32_t value) {
    S->sizes[sizes_index::flags] = static_cast<int32_t>(
        ssWriteBits(static_cast<uint32_t>(S->sizes[sizes_index::flags]), field, value));
}

inline int32_t ssGetNumInputPorts(const SimStruct* S) { return S->sizes[sizes_index::numInputPorts]; }
inline int32_t ssGetNumOutputPorts(const SimStruct* S) { return S->sizes[sizes_index::numOutputPorts]; }
inline uint32_t ssGetSimStateHandling(const SimStruct* S) { return ssGetFlagBits(S, flag_bits::simStateHandling); }
inline bool ssGetDimsInfoMethods(const SimStruct* S) { return ssGetFlagBits(S, flag_bits::dimsInfoMethods) != 0; }

// The root record's error slots.
inline SimStruct* ssRoot(SimStruct* S) { return S->root != nullptr ? S->root : S; }
