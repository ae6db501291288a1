// Codes of the host's generic service function (BlockInfo::hostService).
#pragma once

#include <cstdint>

#include "host/simstruc.h"

namespace host_service {
// Registration.
inline constexpr int32_t registrationAllowed = 362;
inline constexpr int32_t inputPortRegistered = 106;
inline constexpr int32_t outputPortRegistered = 107;
inline constexpr int32_t registerText = 327;
inline constexpr int32_t createDataType = 132;
inline constexpr int32_t outputPortByteAttribute = 141;
inline constexpr int32_t outputPortTripleAttribute = 142;
inline constexpr int32_t symbolicDimsSupport = 302;
inline constexpr int32_t sampleTimesDeclared = 323;
inline constexpr int32_t registrationOptions = 229;
inline constexpr int32_t extensionFlagOn = 197;
inline constexpr int32_t extensionFlagOff = 207;
inline constexpr int32_t versionText = 299;
// Model information.
inline constexpr int32_t modelInfoQuery = 239;
inline constexpr int32_t modelInfoRegister = 72;
// Work widths and run-time resources.
inline constexpr int32_t workWidthsDeclared = 148;
inline constexpr int32_t fromFileNames = 74;
inline constexpr int32_t toFileNames = 73;
inline constexpr int32_t systemRanBase = 95;
inline constexpr int32_t contextTid = 96;
inline constexpr int32_t registerDataMap = 64;
// Gateway and command line.
inline constexpr int32_t simStateTaken = 152;
inline constexpr int32_t bindExtension = 280;
// Diagnostic objects.
inline constexpr int32_t reportWarningObject = 340;
inline constexpr int32_t setErrorObject = 363;
inline constexpr int32_t reportInfoObject = 367;
// Code-generation string buffer.
inline constexpr int32_t createStringBuffer = 42;
inline constexpr int32_t addToStringBuffer = 43;
// Port, symbolic-dimension and zero-crossing helpers.
inline constexpr int32_t runTimeParamTunable = 20;
inline constexpr int32_t blockHandle = 21;
inline constexpr int32_t zcSignalEvents = 102;
inline constexpr int32_t isInputPortElementContinuous = 175;
inline constexpr int32_t setInputPortUsedForContZc = 176;
inline constexpr int32_t createAndAddZcSignal = 177;
inline constexpr int32_t setZcSignalName = 178;
inline constexpr int32_t getZcSignalName = 179;
inline constexpr int32_t setZcSignalWidth = 180;
inline constexpr int32_t getZcSignalWidth = 181;
inline constexpr int32_t setZcSignalEventType = 182;
inline constexpr int32_t getZcSignalEventType = 183;
inline constexpr int32_t setZcSignalType = 184;
inline constexpr int32_t getZcSignalType = 185;
inline constexpr int32_t setZcSignalTol = 186;
inline constexpr int32_t getZcSignalTol = 187;
inline constexpr int32_t setZcSignalNeedsEvent = 188;
inline constexpr int32_t getZcSignalNeedsEvent = 189;
inline constexpr int32_t numZcSignals = 190;
inline constexpr int32_t zcSignalVector = 191;
inline constexpr int32_t setZcElementDisc = 192;
inline constexpr int32_t getZcElementDisc = 193;
inline constexpr int32_t cloneAndAddZcSignal = 194;
inline constexpr int32_t callSystemNumDestinations = 200;
inline constexpr int32_t zeroCrossControlDisabled = 226;
inline constexpr int32_t registerSymbolicDimsExpr = 303;
inline constexpr int32_t registerSymbolicDims = 304;
inline constexpr int32_t registerSymbolicDimsString = 305;
inline constexpr int32_t registerSymbolicDimsIntValue = 306;
inline constexpr int32_t symbolicDimsPlus = 307;
inline constexpr int32_t symbolicDimsMinus = 308;
inline constexpr int32_t symbolicDimsMultiply = 309;
inline constexpr int32_t symbolicDimsDivide = 310;
inline constexpr int32_t numSymbolicDims = 311;
inline constexpr int32_t symbolicDim = 312;
inline constexpr int32_t setInputPortSymbolicDimsId = 313;
inline constexpr int32_t getCompInputPortSymbolicDimsId = 315;
inline constexpr int32_t setCompInputPortSymbolicDimsId = 316;
inline constexpr int32_t setOutputPortSymbolicDimsId = 317;
inline constexpr int32_t getCompOutputPortSymbolicDimsId = 319;
inline constexpr int32_t setCompOutputPortSymbolicDimsId = 320;
inline constexpr int32_t setCompDWorkSymbolicDimsId = 322;
inline constexpr int32_t parameterTuningCompliance = 324;
inline constexpr int32_t symbolicEqualRelation = 368;
inline constexpr int32_t symbolicEqualValue = 369;
inline constexpr int32_t amendLeadingSymbolicDims = 370;
inline constexpr int32_t amendTrailingSymbolicDims = 371;
}  // namespace host_service

// Calls the record's host service when the record has one; otherwise the
// call is skipped and `absent` comes back.  Every service call of the module
// goes through here.

inline int32_t ssCallHostService(SimStruct* S, int32_t code, int32_t intValue, void* data,
                                 int32_t absent = 0) {
    HostServiceFcn service = S->blockInfo != nullptr ? S->blockInfo->hostService : nullptr;
    if (service == nullptr) return absent;
    return service(S, code, intValue, data);
}

inline bool ssHasHostService(const SimStruct* S) {
    return S->blockInfo != nullptr && S->blockInfo->hostService != nullptr;
}
