// The helpers around the host's generic service: symbolic dimensions,
// parameter tuning, function-call destinations, zero-crossing signals.
//
// Each passes a slot (or a small record) that holds its preset until the
// host overwrites it, and hands back the slot: without a host the preset is
// the answer.  The service's own return value is not used.

#include <cstdint>

#include "gateway/sfun_service_records.h"
#include "gateway/sfun_support.h"
#include "host/host_services.h"
#include "host/simstruc.h"

namespace {

namespace hs = host_service;

using namespace service_record;

template <typename Slot>
Slot withSlot(SimStruct* S, int32_t code, int32_t intValue, Slot preset) {
    Slot slot = preset;
    ssCallHostService(S, code, intValue, &slot);
    return slot;
}

}  // namespace

// Symbolic dimensions.
void _ssSetSymbolicDimsSupport(SimStruct* S, uint8_t flag) {
    ssCallHostService(S, hs::symbolicDimsSupport, flag, nullptr);
}
int32_t _ssRegisterSymbolicDimsExpr(SimStruct* S, const char* expression) {
    return withSlot(S, hs::registerSymbolicDimsExpr, 0, TextRegistration{expression, 0}).id;
}
int32_t _ssRegisterSymbolicDims(SimStruct* S, void* first, void* second) {
    return withSlot(S, hs::registerSymbolicDims, 0, PairRegistration{first, second, 0}).id;
}
int32_t _ssRegisterSymbolicDimsString(SimStruct* S, const char* text) {
    return withSlot(S, hs::registerSymbolicDimsString, 0, TextRegistration{text, 0}).id;
}
int32_t _ssRegisterSymbolicDimsIntValue(SimStruct* S, int32_t value) {
    return withSlot(S, hs::registerSymbolicDimsIntValue, value, int32_t{0});
}
int32_t _ssRegisterSymbolicDimsPlus(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::symbolicDimsPlus, a, b);
}
int32_t _ssRegisterSymbolicDimsMinus(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::symbolicDimsMinus, a, b);
}
int32_t _ssRegisterSymbolicDimsMultiply(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::symbolicDimsMultiply, a, b);
}
int32_t _ssRegisterSymbolicDimsDivide(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::symbolicDimsDivide, a, b);
}
int64_t _ssGetNumSymbolicDims(SimStruct* S, int32_t id) {
    return withSlot(S, hs::numSymbolicDims, id, int64_t{0});
}
int32_t _ssGetSymbolicDim(SimStruct* S, int32_t id, int32_t index) {
    return withSlot(S, hs::symbolicDim, index, id);
}
void _ssSetInputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id) {
    withSlot(S, hs::setInputPortSymbolicDimsId, port, id);
}
int32_t _ssGetCompInputPortSymbolicDimsId(SimStruct* S, int32_t port) {
    return withSlot(S, hs::getCompInputPortSymbolicDimsId, port, int32_t{0});
}
void _ssSetCompInputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id) {
    withSlot(S, hs::setCompInputPortSymbolicDimsId, port, id);
}
void _ssSetOutputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id) {
    withSlot(S, hs::setOutputPortSymbolicDimsId, port, id);
}
int32_t _ssGetCompOutputPortSymbolicDimsId(SimStruct* S, int32_t port) {
    return withSlot(S, hs::getCompOutputPortSymbolicDimsId, port, int32_t{0});
}
void _ssSetCompOutputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id) {
    withSlot(S, hs::setCompOutputPortSymbolicDimsId, port, id);
}
void _ssSetCompDWorkSymbolicDimsId(SimStruct* S, int32_t index, int32_t id) {
    withSlot(S, hs::setCompDWorkSymbolicDimsId, index, id);
}
void _ssRegisterSymbolicEqualRelation(SimStruct* S, int32_t a, int32_t b) {
    withSlot(S, hs::symbolicEqualRelation, a, b);
}
void _ssRegisterSymbolicEqualValue(SimStruct* S, int32_t a, int32_t b) {
    withSlot(S, hs::symbolicEqualValue, a, b);
}
int32_t _ssAmendLeadingSymbolicDims(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::amendLeadingSymbolicDims, a, b);
}
int32_t _ssAmendTrailingSymbolicDims(SimStruct* S, int32_t a, int32_t b) {
    return withSlot(S, hs::amendTrailingSymbolicDims, a, b);
}

// Parameters, block handle, function-call destinations.
int32_t ssIsRunTimeParamTunable(SimStruct* S, int32_t index) {
    return withSlot(S, hs::runTimeParamTunable, index, int32_t{0});
}
double ssGetSFuncBlockHandle(SimStruct* S) {
    return withSlot(S, hs::blockHandle, 0, 0.0);
}
int32_t _ssGetCallSystemNumFcnCallDestinations(SimStruct* S, int32_t element) {
    return withSlot(S, hs::callSystemNumDestinations, element, int32_t{0});
}
uint8_t ssGetParameterTuningCompliance(SimStruct* S) {
    return withSlot(S, hs::parameterTuningCompliance, 0, uint8_t{0});
}

// Zero-crossing signals.
uint8_t ssGetIsInputPortElementContinuous(SimStruct* S, int32_t port, int32_t element) {
    return withSlot(S, hs::isInputPortElementContinuous, 0, PortElement{port, element, 0}).result;
}
void ssSetIsInputPortUsedForContZcSignal(SimStruct* S, int32_t port, uint8_t flag) {
    withSlot(S, hs::setInputPortUsedForContZc, port, flag);
}
int32_t ssCreateAndAddZcSignalInfo(SimStruct* S) {
    return withSlot(S, hs::createAndAddZcSignal, 0, int32_t{-1});
}
void ssSetZcSignalName(SimStruct* S, int32_t signal, const char* name) {
    ssCallHostService(S, hs::setZcSignalName, signal, const_cast<char*>(name));
}
const char* ssGetZcSignalName(SimStruct* S, int32_t signal) {
    return withSlot<const char*>(S, hs::getZcSignalName, signal, nullptr);
}
void ssSetZcSignalWidth(SimStruct* S, int32_t signal, int32_t width) {
    withSlot(S, hs::setZcSignalWidth, signal, width);
}
int32_t ssGetZcSignalWidth(SimStruct* S, int32_t signal) {
    return withSlot(S, hs::getZcSignalWidth, signal, int32_t{0});
}
void ssSetZcSignalZcEventType(SimStruct* S, int32_t signal, uint8_t type) {
    withSlot(S, hs::setZcSignalEventType, signal, type);
}
uint8_t ssGetZcSignalZcEventType(SimStruct* S, int32_t signal) {
    return withSlot(S, hs::getZcSignalEventType, signal, uint8_t{63});
}
void ssSetZcSignalType(SimStruct* S, int32_t signal, int32_t type) {
    withSlot(S, hs::setZcSignalType, signal, type);
}
int32_t ssGetZcSignalType(SimStruct* S, int32_t signal) {
    return withSlot(S, hs::getZcSignalType, signal, int32_t{0});
}
void ssSetZcSignalZcTol(SimStruct* S, int32_t signal, double tolerance) {
    withSlot(S, hs::setZcSignalTol, signal, tolerance);
}
double ssGetZcSignalZcTol(SimStruct* S, int32_t signal) {
    return withSlot(S, hs::getZcSignalTol, signal, -1.0);
}
void ssSetZcSignalNeedsEventNotification(SimStruct* S, int32_t signal, uint8_t flag) {
    withSlot(S, hs::setZcSignalNeedsEvent, signal, flag);
}
uint8_t ssGetZcSignalNeedsEventNotification(SimStruct* S, int32_t signal) {
    return withSlot(S, hs::getZcSignalNeedsEvent, signal, uint8_t{0});
}
int32_t ssGetNumZcSignals(SimStruct* S) {
    return withSlot(S, hs::numZcSignals, 0, int32_t{0});
}
void* ssGetZcSignalVector(SimStruct* S, int32_t signal) {
    return withSlot<void*>(S, hs::zcSignalVector, signal, nullptr);
}
void ssSetZcSignalIsZcElementDisc(SimStruct* S, int32_t signal, int32_t element, uint8_t flag) {
    withSlot(S, hs::setZcElementDisc, signal, ZcElement{signal, element, flag});
}
uint8_t ssGetZcSignalIsZcElementDisc(SimStruct* S, int32_t signal, int32_t element) {
    return withSlot(S, hs::getZcElementDisc, 0, ZcElement{signal, element, 0}).flag;
}
int32_t ssCloneAndAddZcSignalInfo(SimStruct* S, int32_t source) {
    return withSlot(S, hs::cloneAndAddZcSignal, source, int32_t{-1});
}
void* ssGetZcSignalZcEvents(SimStruct* S, int32_t signal) {
    return withSlot<void*>(S, hs::zcSignalEvents, signal, nullptr);
}
uint8_t ssGetIsZeroCrossControlDisabled(SimStruct* S) {
    return withSlot(S, hs::zeroCrossControlDisabled, 0, uint8_t{0});
}
