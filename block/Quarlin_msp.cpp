// Registration of the block: four scalar single-precision inputs, two
// scalar single-precision outputs at 1e-4 s, two sample times, one DWork
// holding the instance container, the option and flag words, the
// model-information table, the state checksum and the three methods that
// the host calls directly.
//
// The registration stops at the first refused step and keeps what it has
// written; it raises no diagnostic of its own.  The same code serves a
// record that the host made (hostService set) and one made on the spot for
// a command-line query (hostMode 1, no hostService): every host service is
// called only when the record has one.

#include "block/Quarlin_msp.h"
#include "gateway/sfun_support.h"
#include "host/host_services.h"
#include "mdlref/mr_Quarlin.h"
#include "model/rt_nonfinite.h"

namespace {

constexpr int32_t kNumInputs = 4;
constexpr int32_t kNumOutputs = 2;
constexpr double kStepPeriod = 1e-4;   // s
constexpr int32_t kSingleTypeId = 1;
constexpr uint8_t kPortOptimOpts = 3;  // not a reusable signal
constexpr int32_t kOptions = 0x68000822;
constexpr int32_t kInvalidId = -10;
constexpr int32_t kQueryHostMode = 1;
constexpr char kVersionText[] = "10.4";  // handed to the host at registration

// What service 327 reads: the text, then where the id goes.
struct TextRegistration {
    const char* text;
    int32_t* id;
};

bool isQueryRecord(const SimStruct* S) { return S->blockInfo->hostMode == kQueryHostMode; }

// Registers the empty port text and returns its id; a record without a host
// service has nobody to give one, which counts as the invalid id.
int32_t registerPortText(SimStruct* S) {
    int32_t id = kInvalidId;
    TextRegistration registration{"", &id};
    ssCallHostService(S, host_service::registerText, 0, &registration);
    return id;
}

bool declareInput(SimStruct* S, int32_t k) {
    if (_ssSetInputPortVectorDimension(S, k, 1) == 0) return false;
    int32_t zero = 0;
    ssCallHostService(S, host_service::inputPortRegistered, k, &zero);

    InputPortRecord& port = S->inputPorts[k];
    port.attrTwoBit = 0;
    if (!isQueryRecord(S)) {
        port.dataTypeId = kSingleTypeId;
        const int32_t textId = registerPortText(S);
        if (textId == kInvalidId) return false;
        if (S->inputPortTextIds != nullptr) S->inputPortTextIds[k] = textId;
    }
    _ssSetInputPortDirectFeedThroughFcn(S, k, 1);
    port.attrOneBitA = 1;
    port.optimOpts = kPortOptimOpts;
    port.attrOneBitB = 0;
    port.sampleTime = kStepPeriod;
    port.offsetTime = 0.0;
    return true;
}

bool declareOutput(SimStruct* S, int32_t k) {
    if (_ssSetOutputPortVectorDimension(S, k, 1) == 0) return false;
    int32_t zero = 0;
    ssCallHostService(S, host_service::outputPortRegistered, k, &zero);

    OutputPortRecord& port = S->outputPorts[k];
    port.attrTwoBitA = 0;
    if (!isQueryRecord(S)) {
        port.dataTypeId = kSingleTypeId;
        const int32_t textId = registerPortText(S);
        if (textId == kInvalidId) return false;
        if (S->outputPortTextIds != nullptr) S->outputPortTextIds[k] = textId;
    }
    port.sampleTime = kStepPeriod;
    port.offsetTime = 0.0;
    uint8_t byteAttribute = 0;
    ssCallHostService(S, host_service::outputPortByteAttribute, k, &byteAttribute);
    port.attrTwoBitB = k == 0 ? 2 : 3;
    uint8_t tripleAttribute[3] = {0, 0, 0};
    ssCallHostService(S, host_service::outputPortTripleAttribute, k, tripleAttribute);
    port.optimOpts = kPortOptimOpts;
    return true;
}

// The DWork that holds the container.  False when the host refuses it.
bool declareContainerDWork(SimStruct* S) {
    int32_t typeId = kInvalidId;
    ssCallHostService(S, host_service::createDataType, 0, &typeId);
    if (typeId == kInvalidId) return false;
    if (S->dataTypeSizeFcn == nullptr) return false;
    if (S->dataTypeSizeFcn(S->dataTypeContext, typeId,
                           static_cast<int32_t>(sizeof(Quarlin_MdlrefDW))) == 0)
        return false;
    if (S->dWorks == nullptr) return false;
    S->dWorks[0].dataTypeId = typeId;
    S->dWorks[0].width = 1;
    return true;
}

int32_t setPortCount(NumPortsFcn fcn, void* arg, int32_t count) {
    return fcn != nullptr ? fcn(arg, count) : 0;
}

// A query record's port count: stored with its flag, and zeroed port records
// made for it.  A negative count is refused and changes nothing.
template <class PortRecord>
int32_t takeQueryPortCount(SimStruct* S, int32_t count, int sizesElement, PortRecord*& ports) {
    if (count < 0) return 0;
    ssSizesElement(S, sizesElement) = count;
    ssSetFlagBits(S, flag_bits::portCountsSet, 1);
    if (count > 0) {
        ports = static_cast<PortRecord*>(mxCalloc_800(static_cast<size_t>(count), sizeof(PortRecord)));
    }
    return 1;
}

}  // namespace

void mdlInitializeSizes(SimStruct* S) {
    if (ssCallHostService(S, host_service::registrationAllowed, -1, nullptr, 1) == 0) return;
    ssSizesElement(S, sizes_index::numNonsampledZCs) = 0;

    ssFxpSetU32BitRegionCompliant(S, 1);
    rt_InitInfAndNaN(sizeof(double));

    ssSizesElement(S, sizes_index::element30) = 2;
    ssSizesElement(S, sizes_index::numContStates) = 0;
    ssSizesElement(S, sizes_index::numDiscStates) = 0;

    _ssSetSymbolicDimsSupport(S, 1);
    slmrInitializeIOPortDataVectors(S, kNumInputs, kNumOutputs);

    // All inputs are declared before the output count is set.
    if (setPortCount(S->numInputPortsFcn, S->numInputPortsArg, kNumInputs) == 0) return;
    for (int32_t k = 0; k < kNumInputs; ++k) {
        if (!declareInput(S, k)) return;
    }
    if (setPortCount(S->numOutputPortsFcn, S->numOutputPortsArg, kNumOutputs) == 0) return;
    for (int32_t k = 0; k < kNumOutputs; ++k) {
        if (!declareOutput(S, k)) return;
    }

    // The block's own mdlGetSimState and mdlSetSimState serve snapshots.
    ssSetFlagBits(S, flag_bits::simStateHandling, 3);
    mr_Quarlin_RegisterSimStateChecksum(S);

    ssSizesElement(S, sizes_index::numSampleTimes) = 2;
    ssCallHostService(S, host_service::sampleTimesDeclared, 1, nullptr);

    ssSizesElement(S, sizes_index::numRWork) = 0;
    ssSizesElement(S, sizes_index::numIWork) = 0;
    ssSizesElement(S, sizes_index::numPWork) = 0;
    ssSizesElement(S, sizes_index::numModes) = 0;

    for (int32_t k = 0; k < kNumOutputs; ++k) {
        S->outputPorts[k].attrOneBitA = 0;
        S->outputPorts[k].attrOneBitB = 0;
    }
    for (int32_t k = 0; k < kNumInputs; ++k) S->inputPorts[k].attrOneBitC = 1;

    ssSetFlagBits(S, flag_bits::field11, 2);
    S->recordAttrFourBit = 2;
    ssCallHostService(S, host_service::registrationOptions, 0, nullptr);
    ssSetFlagBits(S, flag_bits::field17, 1);

    if (S->hostExtension != nullptr) {
        uint8_t on = 1;
        ssCallHostService(S, host_service::extensionFlagOn, 0, &on);
        uint8_t off = 0;
        ssCallHostService(S, host_service::extensionFlagOff, 0, &off);
    }

    ssSizesElement(S, sizes_index::options) = kOptions;

    if (ssHasHostService(S) && !isQueryRecord(S)) {
        int32_t accepted = 1;
        mr_Quarlin_MdlInfoRegFcn(S, "Quarlin", &accepted);
        if (accepted == 0) return;
    }

    // A host that declines the DWork is no failure: the block goes on without one.
    if (S->numDWorkFcn != nullptr && S->numDWorkFcn(S, 1) != 0) {
        if (!declareContainerDWork(S)) return;
    }

    // A query record answers one command-line call and never runs, so the
    // host gets no methods of it.
    if (!isQueryRecord(S)) {
        slmrRegisterSystemInitializeMethod(S, mdlInitializeConditions);
        slmrRegisterSystemResetMethod(S, mdlReset);
        slmrRegisterPeriodicOutputUpdateMethod(S, mdlPeriodicOutputUpdate);
    }

    // The host may keep the pointer: the text lives as long as the module.
    ssCallHostService(S, host_service::versionText, 0, const_cast<char*>(kVersionText));

    ssSetFlagBits(S, flag_bits::registrationDone, 1);
}

// Port-count callbacks of a record made for a command-line query; the
// argument is the record itself.

int32_t _RegNumInputPortsCB(void* arg, int32_t count) {
    auto* S = static_cast<SimStruct*>(arg);
    return takeQueryPortCount(S, count, sizes_index::numInputPorts, S->inputPorts);
}

int32_t _RegNumOutputPortsCB(void* arg, int32_t count) {
    auto* S = static_cast<SimStruct*>(arg);
    return takeQueryPortCount(S, count, sizes_index::numOutputPorts, S->outputPorts);
}
