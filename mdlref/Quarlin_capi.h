// The static half of Quarlin's data map: the process-wide tables, in the
// host's layout, that describe the model's seven states, and the filling of
// each instance's record (Quarlin_DataMapInfo) that points at them and at the
// instance's own states and run flags.
//
// Every row type is an exchanged layout: offsets in bytes, integers
// little-endian, pointers 8 bytes, texts zero-terminated constants.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mdlref/Quarlin_capi_types.h"
#include "model/Quarlin.h"

// One row of the states table.
struct Quarlin_CapiState {
    uint32_t addrMapIndex;        // entry of the instance's address table
    int32_t contStateStartIndex;  // -1: a discrete state
    const char* blockPath;
    const char* stateName;
    const char* pathAlias;
    uint16_t dWorkIndex;
    uint16_t dataTypeIndex;       // row of rtDataTypeMap
    uint16_t dimIndex;            // row of rtDimensionMap
    uint16_t fxpIndex;            // row of rtFixPtMap
    uint8_t sTimeIndex;           // row of rtSampleTimeMap
    uint8_t isContinuous;
    uint16_t zero42;
    int32_t hierInfoIndex;
    uint32_t flatElemIndex;
    uint32_t zero52;
};
static_assert(sizeof(Quarlin_CapiState) == 56);
static_assert(offsetof(Quarlin_CapiState, contStateStartIndex) == 4);
static_assert(offsetof(Quarlin_CapiState, blockPath) == 8);
static_assert(offsetof(Quarlin_CapiState, stateName) == 16);
static_assert(offsetof(Quarlin_CapiState, pathAlias) == 24);
static_assert(offsetof(Quarlin_CapiState, dWorkIndex) == 32);
static_assert(offsetof(Quarlin_CapiState, dataTypeIndex) == 34);
static_assert(offsetof(Quarlin_CapiState, dimIndex) == 36);
static_assert(offsetof(Quarlin_CapiState, fxpIndex) == 38);
static_assert(offsetof(Quarlin_CapiState, sTimeIndex) == 40);
static_assert(offsetof(Quarlin_CapiState, isContinuous) == 41);
static_assert(offsetof(Quarlin_CapiState, zero42) == 42);
static_assert(offsetof(Quarlin_CapiState, hierInfoIndex) == 44);
static_assert(offsetof(Quarlin_CapiState, flatElemIndex) == 48);
static_assert(offsetof(Quarlin_CapiState, zero52) == 52);

// One row of the signals table.  The model publishes no signals, so the host
// reads no row; the single row is all zeros.
struct Quarlin_CapiSignal {
    uint32_t addrMapIndex;
    uint32_t sysNum;
    const char* blockPath;
    const char* signalName;
    uint16_t portNumber;
    uint16_t dataTypeIndex;
    uint16_t dimIndex;
    uint16_t fxpIndex;
    uint8_t sTimeIndex;
    uint8_t zero33[7];
};
static_assert(sizeof(Quarlin_CapiSignal) == 40);
static_assert(offsetof(Quarlin_CapiSignal, blockPath) == 8);
static_assert(offsetof(Quarlin_CapiSignal, signalName) == 16);
static_assert(offsetof(Quarlin_CapiSignal, portNumber) == 24);
static_assert(offsetof(Quarlin_CapiSignal, sTimeIndex) == 32);

struct Quarlin_CapiDataType {
    const char* cName;          // type name in the model's code
    const char* hostName;       // the host's type name
    uint16_t numElements;       // structure elements
    uint16_t elemMapIndex;
    uint16_t dataSize;          // bytes of one value
    uint8_t hostDataTypeId;
    uint8_t complexPointerFlags;  // bit 0 complex, bit 1 pointer
    uint8_t enumStorageType;
    uint8_t zero25[7];
};
static_assert(sizeof(Quarlin_CapiDataType) == 32);
static_assert(offsetof(Quarlin_CapiDataType, hostName) == 8);
static_assert(offsetof(Quarlin_CapiDataType, numElements) == 16);
static_assert(offsetof(Quarlin_CapiDataType, elemMapIndex) == 18);
static_assert(offsetof(Quarlin_CapiDataType, dataSize) == 20);
static_assert(offsetof(Quarlin_CapiDataType, hostDataTypeId) == 22);
static_assert(offsetof(Quarlin_CapiDataType, complexPointerFlags) == 23);
static_assert(offsetof(Quarlin_CapiDataType, enumStorageType) == 24);

struct Quarlin_CapiElement {
    const char* elementName;
    uint32_t elementOffset;
    uint16_t dataTypeIndex;
    uint16_t dimIndex;
    uint16_t fxpIndex;
    uint8_t zero18[6];
};
static_assert(sizeof(Quarlin_CapiElement) == 24);
static_assert(offsetof(Quarlin_CapiElement, elementOffset) == 8);
static_assert(offsetof(Quarlin_CapiElement, dataTypeIndex) == 12);
static_assert(offsetof(Quarlin_CapiElement, dimIndex) == 14);
static_assert(offsetof(Quarlin_CapiElement, fxpIndex) == 16);

struct Quarlin_CapiDimension {
    uint32_t orientation;    // 0: scalar
    uint32_t dimArrayIndex;  // first entry in rtDimensionArray
    uint8_t numDims;
    uint8_t zero9[3];
    int32_t varDimsIndex;
};
static_assert(sizeof(Quarlin_CapiDimension) == 16);
static_assert(offsetof(Quarlin_CapiDimension, dimArrayIndex) == 4);
static_assert(offsetof(Quarlin_CapiDimension, numDims) == 8);
static_assert(offsetof(Quarlin_CapiDimension, varDimsIndex) == 12);

struct Quarlin_CapiFixPt {
    const void* slope;
    const void* bias;
    uint8_t scalingKind;     // 2: no fixed-point scaling
    int8_t wordLength;
    int8_t exponent;
    uint8_t isSigned;
    uint8_t zero20[4];
};
static_assert(sizeof(Quarlin_CapiFixPt) == 24);
static_assert(offsetof(Quarlin_CapiFixPt, bias) == 8);
static_assert(offsetof(Quarlin_CapiFixPt, scalingKind) == 16);
static_assert(offsetof(Quarlin_CapiFixPt, wordLength) == 17);
static_assert(offsetof(Quarlin_CapiFixPt, exponent) == 18);
static_assert(offsetof(Quarlin_CapiFixPt, isSigned) == 19);

struct Quarlin_CapiSampleTime {
    const double* samplePeriod;  // s
    const double* sampleOffset;  // s
    int8_t taskIndex;
    uint8_t samplingMode;
    uint8_t zero18[6];
};
static_assert(sizeof(Quarlin_CapiSampleTime) == 24);
static_assert(offsetof(Quarlin_CapiSampleTime, sampleOffset) == 8);
static_assert(offsetof(Quarlin_CapiSampleTime, taskIndex) == 16);
static_assert(offsetof(Quarlin_CapiSampleTime, samplingMode) == 17);

struct Quarlin_CapiLoggingMetaInfo {
    uint32_t zero0;
    uint32_t zero4;
    const char* text;  // ""
    uint32_t zero16;
    uint32_t zero20;
};
static_assert(sizeof(Quarlin_CapiLoggingMetaInfo) == 24);
static_assert(offsetof(Quarlin_CapiLoggingMetaInfo, text) == 8);
static_assert(offsetof(Quarlin_CapiLoggingMetaInfo, zero16) == 16);

struct Quarlin_CapiStaticLogging {
    uint32_t numSystems;
    uint32_t zero4;
    int32_t* contextSystems;
    const Quarlin_CapiLoggingMetaInfo* loggingMetaInfo;
    uint64_t zero24[9];
};
static_assert(sizeof(Quarlin_CapiStaticLogging) == 96);
static_assert(offsetof(Quarlin_CapiStaticLogging, contextSystems) == 8);
static_assert(offsetof(Quarlin_CapiStaticLogging, loggingMetaInfo) == 16);
static_assert(offsetof(Quarlin_CapiStaticLogging, zero24) == 24);

// The static map.  Every count is 32 bits followed by 4 zero bytes.
struct Quarlin_CapiStaticMap {
    const Quarlin_CapiSignal* signals;
    uint32_t numSignals;
    uint32_t zero12;
    const void* rootInputs;
    uint32_t numRootInputs;
    uint32_t zero28;
    const void* rootOutputs;
    uint32_t numRootOutputs;
    uint32_t zero44;
    const void* blockParameters;
    uint32_t numBlockParameters;
    uint32_t zero60;
    const void* modelParameters;
    uint32_t numModelParameters;
    uint32_t zero76;
    const Quarlin_CapiState* states;
    uint32_t numStates;
    uint32_t zero92;
    const Quarlin_CapiDataType* dataTypeMap;
    const Quarlin_CapiDimension* dimensionMap;
    const Quarlin_CapiFixPt* fixPtMap;
    const Quarlin_CapiElement* elementMap;
    const Quarlin_CapiSampleTime* sampleTimeMap;
    const uint32_t* dimensionArray;
    const char* targetType;
    uint32_t checksum[4];
    const Quarlin_CapiStaticLogging* staticLogging;
    uint64_t value176;
    uint32_t value184;
    uint32_t zero188;
    const int32_t* loggedStateIdxList;
};
static_assert(sizeof(Quarlin_CapiStaticMap) == 200);
static_assert(offsetof(Quarlin_CapiStaticMap, numSignals) == 8);
static_assert(offsetof(Quarlin_CapiStaticMap, rootInputs) == 16);
static_assert(offsetof(Quarlin_CapiStaticMap, numRootInputs) == 24);
static_assert(offsetof(Quarlin_CapiStaticMap, rootOutputs) == 32);
static_assert(offsetof(Quarlin_CapiStaticMap, numRootOutputs) == 40);
static_assert(offsetof(Quarlin_CapiStaticMap, blockParameters) == 48);
static_assert(offsetof(Quarlin_CapiStaticMap, numBlockParameters) == 56);
static_assert(offsetof(Quarlin_CapiStaticMap, modelParameters) == 64);
static_assert(offsetof(Quarlin_CapiStaticMap, numModelParameters) == 72);
static_assert(offsetof(Quarlin_CapiStaticMap, states) == 80);
static_assert(offsetof(Quarlin_CapiStaticMap, numStates) == 88);
static_assert(offsetof(Quarlin_CapiStaticMap, dataTypeMap) == 96);
static_assert(offsetof(Quarlin_CapiStaticMap, dimensionMap) == 104);
static_assert(offsetof(Quarlin_CapiStaticMap, fixPtMap) == 112);
static_assert(offsetof(Quarlin_CapiStaticMap, elementMap) == 120);
static_assert(offsetof(Quarlin_CapiStaticMap, sampleTimeMap) == 128);
static_assert(offsetof(Quarlin_CapiStaticMap, dimensionArray) == 136);
static_assert(offsetof(Quarlin_CapiStaticMap, targetType) == 144);
static_assert(offsetof(Quarlin_CapiStaticMap, checksum) == 152);
static_assert(offsetof(Quarlin_CapiStaticMap, staticLogging) == 168);
static_assert(offsetof(Quarlin_CapiStaticMap, value176) == 176);
static_assert(offsetof(Quarlin_CapiStaticMap, value184) == 184);
static_assert(offsetof(Quarlin_CapiStaticMap, loggedStateIdxList) == 192);

inline constexpr int Quarlin_NumCapiStates = 7;
inline constexpr int Quarlin_NumContextSystems = 5;

extern const Quarlin_CapiSignal rtBlockSignals[1];
extern const Quarlin_CapiState rtBlockStates[Quarlin_NumCapiStates + 1];
extern const Quarlin_CapiDataType rtDataTypeMap[1];
extern const Quarlin_CapiElement rtElementMap[1];
extern const Quarlin_CapiDimension rtDimensionMap[1];
extern const uint32_t rtDimensionArray[2];
extern const Quarlin_CapiFixPt rtFixPtMap[1];
extern const double rtcapiStoredFloats[2];
extern const Quarlin_CapiSampleTime rtSampleTimeMap[1];
// Written, always with 0, 1, 2, 3, 0, by every filling of an instance record.
extern int32_t rtContextSystems[Quarlin_NumContextSystems];
extern const Quarlin_CapiLoggingMetaInfo loggingMetaInfo[1];
extern const Quarlin_CapiStaticLogging mmiStaticInfoLogging;
// Writable: its static-logging pointer is stored again, with the value it
// already holds, by every filling of an instance record.
extern Quarlin_CapiStaticMap mmiStatic;
extern const int32_t rt_LoggedStateIdxList[Quarlin_NumCapiStates];

void Quarlin_InitializeDataMapInfo(Quarlin_RTM* rtm, Quarlin_DW* rtdw, void* sysRanBase,
                                   int32_t contextTid);
const Quarlin_CapiStaticMap* Quarlin_GetCAPIStaticMap();
