#include "mdlref/Quarlin_capi.h"

#include <cstdint>

namespace {

constexpr const char* stateBlockPath = "Block_in_protected_model";
constexpr const char* stateName = "DSTATE";

// A state row of address index `index`: a discrete float32 scalar of task 0.
constexpr Quarlin_CapiState stateRow(uint32_t index) {
    return Quarlin_CapiState{
        .addrMapIndex = index,
        .contStateStartIndex = -1,
        .blockPath = stateBlockPath,
        .stateName = stateName,
        .pathAlias = "",
        .dWorkIndex = 0,
        .dataTypeIndex = 0,
        .dimIndex = 0,
        .fxpIndex = 0,
        .sTimeIndex = 0,
        .isContinuous = 0,
        .zero42 = 0,
        .hierInfoIndex = -1,
        .flatElemIndex = 0,
        .zero52 = 0,
    };
}

constexpr Quarlin_CapiState terminatingStateRow() {
    Quarlin_CapiState row{};
    row.contStateStartIndex = -1;
    row.hierInfoIndex = -1;
    return row;
}

}  // namespace

const Quarlin_CapiSignal rtBlockSignals[1] = {};

// Row i describes the state that entry i of the instance's address table
// points at; the filling below keeps the two in the same order.
const Quarlin_CapiState rtBlockStates[Quarlin_NumCapiStates + 1] = {
    stateRow(0),  // speed
    stateRow(1),  // currentAlpha
    stateRow(2),  // emfAlpha
    stateRow(3),  // currentBeta
    stateRow(4),  // emfBeta
    stateRow(5),  // angle
    stateRow(6),  // pllIntegrator
    terminatingStateRow(),
};

// Per row of rtBlockStates: the position of its state among the seven states
// of Quarlin_DW (emfAlpha, emfBeta, speed, angle, pllIntegrator,
// currentBeta, currentAlpha), counting from 1.
const int32_t rt_LoggedStateIdxList[Quarlin_NumCapiStates] = {3, 7, 1, 6, 2, 4, 5};

const Quarlin_CapiDataType rtDataTypeMap[1] = {{
    .cName = "float",
    .hostName = "real32_T",
    .numElements = 0,
    .elemMapIndex = 0,
    .dataSize = sizeof(float),
    .hostDataTypeId = 1,  // single precision
    .complexPointerFlags = 0,
    .enumStorageType = 0,
    .zero25 = {},
}};

const Quarlin_CapiElement rtElementMap[1] = {};

const Quarlin_CapiDimension rtDimensionMap[1] = {{
    .orientation = 0,
    .dimArrayIndex = 0,
    .numDims = 2,
    .zero9 = {},
    .varDimsIndex = 0,
}};

const uint32_t rtDimensionArray[2] = {1, 1};  // one row, one column

const Quarlin_CapiFixPt rtFixPtMap[1] = {{
    .slope = nullptr,
    .bias = nullptr,
    .scalingKind = 2,
    .wordLength = 0,
    .exponent = 0,
    .isSigned = 0,
    .zero20 = {},
}};

const double rtcapiStoredFloats[2] = {1e-4, 0.0};  // s: sample period, sample offset

const Quarlin_CapiSampleTime rtSampleTimeMap[1] = {{
    .samplePeriod = &rtcapiStoredFloats[0],
    .sampleOffset = &rtcapiStoredFloats[1],
    .taskIndex = 0,
    .samplingMode = 0,
    .zero18 = {},
}};

int32_t rtContextSystems[Quarlin_NumContextSystems];

const Quarlin_CapiLoggingMetaInfo loggingMetaInfo[1] = {{0, 0, "", 0, 0}};

const Quarlin_CapiStaticLogging mmiStaticInfoLogging = {
    .numSystems = Quarlin_NumContextSystems,
    .zero4 = 0,
    .contextSystems = rtContextSystems,
    .loggingMetaInfo = loggingMetaInfo,
    .zero24 = {},
};

Quarlin_CapiStaticMap mmiStatic = {
    .signals = rtBlockSignals,
    .numSignals = 0,
    .zero12 = 0,
    .rootInputs = nullptr,
    .numRootInputs = 0,
    .zero28 = 0,
    .rootOutputs = nullptr,
    .numRootOutputs = 0,
    .zero44 = 0,
    .blockParameters = nullptr,
    .numBlockParameters = 0,
    .zero60 = 0,
    .modelParameters = nullptr,
    .numModelParameters = 0,
    .zero76 = 0,
    .states = rtBlockStates,
    .numStates = Quarlin_NumCapiStates,
    .zero92 = 0,
    .dataTypeMap = rtDataTypeMap,
    .dimensionMap = rtDimensionMap,
    .fixPtMap = rtFixPtMap,
    .elementMap = rtElementMap,
    .sampleTimeMap = rtSampleTimeMap,
    .dimensionArray = rtDimensionArray,
    .targetType = "float",
    .checksum = {0x94F4D448U, 0x22573D35U, 0x9019CCE3U, 0x357AA368U},
    .staticLogging = &mmiStaticInfoLogging,
    .value176 = 0,
    .value184 = 1,
    .zero188 = 0,
    .loggedStateIdxList = rt_LoggedStateIdxList,
};

void Quarlin_InitializeDataMapInfo(Quarlin_RTM* rtm, Quarlin_DW* rtdw, void* sysRanBase,
                                   int32_t contextTid) {
    Quarlin_DataMapInfo& map = rtm->dataMapInfo;

    map.version = 1;
    map.staticMap = &mmiStatic;
    mmiStatic.staticLogging = &mmiStaticInfoLogging;

    // Same order as the rows of rtBlockStates.
    map.addresses[0] = &rtdw->speed;
    map.addresses[1] = &rtdw->currentAlpha;
    map.addresses[2] = &rtdw->emfAlpha;
    map.addresses[3] = &rtdw->currentBeta;
    map.addresses[4] = &rtdw->emfBeta;
    map.addresses[5] = &rtdw->angle;
    map.addresses[6] = &rtdw->pllIntegrator;
    map.addressTable = map.addresses;

    map.varDimsAddresses[0] = nullptr;
    map.varDimsAddressTable = map.varDimsAddresses;

    map.path = nullptr;
    map.fullPath = nullptr;

    for (void*& slot : map.perStateSlots) {
        slot = nullptr;
    }
    map.perStateSlotTable = map.perStateSlots;

    map.logging = &map.instanceLogging;

    map.childTable = nullptr;
    map.numChildren = 0;

    // The run flags go in the order noWrapRan, wrapHighRan, wrapLowRan, which
    // is not their order in Quarlin_DW.
    map.systemRan[0] = sysRanBase;
    map.systemRan[1] = &rtdw->noWrapRan;
    map.systemRan[2] = &rtdw->wrapHighRan;
    map.systemRan[3] = &rtdw->wrapLowRan;
    map.systemRan[4] = nullptr;
    map.systemTid[0] = contextTid;
    for (int system = 1; system < Quarlin_NumContextSystems; ++system) {
        map.systemTid[system] = rtm->globalTid[0];
    }
    const int32_t contextSystems[Quarlin_NumContextSystems] = {0, 1, 2, 3, 0};
    for (int system = 0; system < Quarlin_NumContextSystems; ++system) {
        rtContextSystems[system] = contextSystems[system];
    }

    map.instanceLogging.systemRan = map.systemRan;
    map.instanceLogging.systemTid = map.systemTid;
    map.instanceLogging.globalTid = &rtm->globalTid[0];
}

const Quarlin_CapiStaticMap* Quarlin_GetCAPIStaticMap() {
    return &mmiStatic;
}
