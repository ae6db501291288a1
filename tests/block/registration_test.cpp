// Registration on the two kinds of record: one that the host made, and one
// made on the spot for a command-line query.

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "block_fixture.h"
#include "mdlref/mr_Quarlin.h"

namespace {

using subhost::HostRecord;
using subhost::HostRecordOptions;

// A record as the command-line entry makes one for a query: zero-filled,
// its own root, hostMode 1, no host service, the module's port-count
// callbacks, no port-dimension or DWork functions.
struct QueryRecord {
    SimStruct record{};
    BlockInfo info{};
    char msgBuffer[1024]{};

    QueryRecord() {
        record.root = &record;
        record.modelName = "Quarlin_msp";
        record.path = "Quarlin_msp";
        info.hostMode = 1;
        info.msgBuffer = msgBuffer;
        record.blockInfo = &info;
        record.numInputPortsFcn = _RegNumInputPortsCB;
        record.numInputPortsArg = &record;
        record.numOutputPortsFcn = _RegNumOutputPortsCB;
        record.numOutputPortsArg = &record;
    }
    ~QueryRecord() { subhost_slmr_forget(&record); }
    SimStruct* S() { return &record; }
};

void expectChecksumRegistered(const SimStruct* S) {
    ASSERT_EQ(subhost_slmr_checksumCount(S), 1);
    EXPECT_STREQ(subhost_slmr_checksumModel(S, 0), "Quarlin");
    uint32_t words[4] = {};
    subhost_slmr_checksumWords(S, 0, words);
    EXPECT_EQ(words[0], 0xCC466449u);
    EXPECT_EQ(words[1], 0x53FC69BFu);
    EXPECT_EQ(words[2], 0x125D1680u);
    EXPECT_EQ(words[3], 0xFD15C90Cu);
}

void expectRateAndOptim(double sampleTime, double offsetTime, uint8_t optimOpts) {
    EXPECT_EQ(bitsOf(sampleTime), bitsOf(1e-4));
    EXPECT_EQ(bitsOf(offsetTime), bitsOf(0.0));
    EXPECT_EQ(optimOpts, 3);
}

using Registration = BlockTest;

TEST_F(Registration, QueryRecordDeclaresCountsRatesAndFlagsButNothingOfTheHost) {
    auto query = std::make_unique<QueryRecord>();
    SimStruct* S = query->S();
    mdlInitializeSizes(S);

    EXPECT_EQ(ssGetNumInputPorts(S), 4);
    EXPECT_EQ(ssGetNumOutputPorts(S), 2);
    ASSERT_NE(S->inputPorts, nullptr);
    ASSERT_NE(S->outputPorts, nullptr);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const InputPortRecord& port = S->inputPorts[k];
        EXPECT_EQ(port.directFeedThrough, 1);
        expectRateAndOptim(port.sampleTime, port.offsetTime, port.optimOpts);
        EXPECT_EQ(port.width, 0);  // no host dimension function
        EXPECT_EQ(port.dataTypeId, 0);
        EXPECT_EQ(S->inputPortTextIds[k], 0);
    }
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const OutputPortRecord& port = S->outputPorts[k];
        expectRateAndOptim(port.sampleTime, port.offsetTime, port.optimOpts);
        EXPECT_EQ(port.width, 0);
        EXPECT_EQ(port.dataTypeId, 0);
        EXPECT_EQ(S->outputPortTextIds[k], 0);
    }
    const int32_t* sizes = S->sizes;
    EXPECT_EQ(static_cast<uint32_t>(sizes[sizes_index::options]), 0x68000822u);
    EXPECT_EQ(static_cast<uint32_t>(sizes[sizes_index::flags]), 0x001A1202u);
    EXPECT_EQ(sizes[sizes_index::numSampleTimes], 2);
    EXPECT_EQ(sizes[sizes_index::element30], 2);
    for (int element : {0, 1, 7, 8, 9, 10, 22}) EXPECT_EQ(sizes[element], 0) << element;

    expectChecksumRegistered(S);
    EXPECT_EQ(S->dWorks, nullptr);
    EXPECT_EQ(subhost_slmr_methodRegistrations(S), 0);
    EXPECT_EQ(S->errorStatus, nullptr);
}

// The host-visible effects of a full registration, in order.
TEST_F(Registration, HostRecordSeesEveryServiceInOrder) {
    HostRecord host;
    host.textIdSequence = {40, 41, 42, 43, 50, 51};
    // Junk in the host-defined attributes, so that clearing them shows.
    host.onService = [](SimStruct* S, int32_t code, int32_t k, void*) {
        if (code == 106) {
            InputPortRecord& p = S->inputPorts[k];
            p.attrTwoBit = p.attrOneBitA = p.attrOneBitB = p.attrOneBitC = 0x7F;
        }
        if (code == 107) {
            OutputPortRecord& p = S->outputPorts[k];
            p.attrTwoBitA = p.attrTwoBitB = p.attrOneBitA = p.attrOneBitB = 0x7F;
        }
    };
    SimStruct* S = host.S();
    mdlInitializeSizes(S);

    const std::vector<std::string> expected = {
        "service 362 -1", "service 302 1", "numInputPorts 4",
        "inputDims 0 1", "service 106 0", "service 327 0",
        "inputDims 1 1", "service 106 1", "service 327 0",
        "inputDims 2 1", "service 106 2", "service 327 0",
        "inputDims 3 1", "service 106 3", "service 327 0",
        "numOutputPorts 2",
        "outputDims 0 1", "service 107 0", "service 327 0", "service 141 0", "service 142 0",
        "outputDims 1 1", "service 107 1", "service 327 0", "service 141 1", "service 142 1",
        "service 323 1", "service 229 0", "service 239 0", "service 72 0",
        "numDWork 1", "service 132 0", "dataTypeSize 16 432", "service 299 0",
    };
    EXPECT_EQ(host.eventNames(), expected);

    // What the host read from the data of the calls: the empty text for
    // every port, then the id it wrote back.
    std::vector<std::string> texts;
    for (const subhost::ServiceCall& call : host.serviceCalls) {
        SCOPED_TRACE(call.code);
        switch (call.code) {
            case 106: case 107: case 141: EXPECT_EQ(call.summary, "0"); break;
            case 142: EXPECT_EQ(call.summary, "0 0 0"); break;
            case 72: EXPECT_EQ(call.summary, "42"); break;
            case 299: EXPECT_EQ(call.summary, "10.4"); break;
            case 327: texts.push_back(call.summary); break;
            default: break;
        }
    }
    std::vector<std::string> expectedTexts;
    for (int id : host.textIdSequence) expectedTexts.push_back("\xE2\x86\x92" + std::to_string(id));
    EXPECT_EQ(texts, expectedTexts);

    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const InputPortRecord& port = S->inputPorts[k];
        EXPECT_EQ(port.width, 1);
        EXPECT_EQ(port.dataTypeId, 1);
        EXPECT_EQ(port.directFeedThrough, 1);
        expectRateAndOptim(port.sampleTime, port.offsetTime, port.optimOpts);
        EXPECT_EQ(S->inputPortTextIds[k], 40 + k);
        EXPECT_EQ(port.attrTwoBit, 0);
        EXPECT_EQ(port.attrOneBitA, 1);
        EXPECT_EQ(port.attrOneBitB, 0);
        EXPECT_EQ(port.attrOneBitC, 1);
    }
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const OutputPortRecord& port = S->outputPorts[k];
        EXPECT_EQ(port.width, 1);
        EXPECT_EQ(port.dataTypeId, 1);
        expectRateAndOptim(port.sampleTime, port.offsetTime, port.optimOpts);
        EXPECT_EQ(S->outputPortTextIds[k], 50 + k);
        EXPECT_EQ(port.attrTwoBitA, 0);
        EXPECT_EQ(port.attrTwoBitB, k == 0 ? 2 : 3);
        EXPECT_EQ(port.attrOneBitA, 0);
        EXPECT_EQ(port.attrOneBitB, 0);
    }
    EXPECT_EQ(S->recordAttrFourBit, 2);
    EXPECT_EQ(static_cast<uint32_t>(S->sizes[sizes_index::options]), 0x68000822u);
    // Host records get their port counts from the host, which leaves bit 1 alone.
    EXPECT_EQ(static_cast<uint32_t>(S->sizes[sizes_index::flags]), 0x001A1200u);

    ASSERT_NE(S->dWorks, nullptr);
    EXPECT_EQ(S->dWorks[0].dataTypeId, 16);
    EXPECT_EQ(S->dWorks[0].width, 1);
    EXPECT_EQ(subhost_slmr_systemInitializeMethod(S), &mdlInitializeConditions);
    EXPECT_EQ(subhost_slmr_systemResetMethod(S), &mdlReset);
    EXPECT_EQ(subhost_slmr_periodicOutputUpdateMethod(S), &mdlPeriodicOutputUpdate);
    EXPECT_EQ(subhost_slmr_methodRegistrations(S), 3);
    expectChecksumRegistered(S);
    EXPECT_EQ(subhost_fxp_callCount(S), 1);
    EXPECT_EQ(subhost_fxp_lastValue(S), 1);
}

TEST_F(Registration, RefusalByTheFirstServiceChangesNothing) {
    HostRecord host;
    host.answers[362] = 0;
    SimStruct* S = host.S();
    for (int32_t& element : S->sizes) element = 0x5A5A5A5A;
    const auto sizesBefore = bytesOf(S->sizes);

    mdlInitializeSizes(S);

    EXPECT_EQ(host.eventNames(), std::vector<std::string>{"service 362 -1"});
    EXPECT_EQ(bytesOf(S->sizes), sizesBefore);
    EXPECT_EQ(S->inputPorts, nullptr);
    EXPECT_EQ(S->outputPorts, nullptr);
    EXPECT_EQ(subhost_slmr_ioPortVectorsCalls(S), 0);
    EXPECT_EQ(subhost_slmr_checksumCount(S), 0);
    EXPECT_EQ(subhost_slmr_methodRegistrations(S), 0);
    EXPECT_EQ(subhost_fxp_callCount(S), 0);
}

TEST_F(Registration, InvalidTextIdForInputTwoStopsAfterItsDataType) {
    HostRecord host;
    host.textIdSequence = {7, 8, -10};
    host.onService = [](SimStruct* S, int32_t code, int32_t k, void*) {
        if (code == 106 && k == 2) S->inputPorts[2].attrTwoBit = 3;
    };
    SimStruct* S = host.S();
    mdlInitializeSizes(S);

    EXPECT_EQ(host.eventNames().back(), "service 327 0");
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(S->inputPorts[k].directFeedThrough, 1);
        EXPECT_EQ(S->inputPorts[k].attrOneBitA, 1);
        expectRateAndOptim(S->inputPorts[k].sampleTime, S->inputPorts[k].offsetTime,
                           S->inputPorts[k].optimOpts);
        EXPECT_EQ(S->inputPortTextIds[k], 7 + k);
    }
    const InputPortRecord& two = S->inputPorts[2];
    EXPECT_EQ(two.width, 1);
    EXPECT_EQ(two.dataTypeId, 1);
    EXPECT_EQ(two.attrTwoBit, 0);
    EXPECT_EQ(host.serviceCount(106), 3);
    EXPECT_EQ(S->inputPortTextIds[2], 0);
    EXPECT_EQ(two.directFeedThrough, 0);
    EXPECT_EQ(two.optimOpts, 0);
    EXPECT_EQ(two.sampleTime, 0.0);

    const InputPortRecord& three = S->inputPorts[3];
    EXPECT_EQ(three.width, 0);
    EXPECT_EQ(three.dataTypeId, 0);
    EXPECT_EQ(S->outputPorts, nullptr);
    EXPECT_EQ(ssGetNumOutputPorts(S), 0);
    EXPECT_EQ(ssGetSimStateHandling(S), 0u);
}

// Each refused step: where the host-visible effects end, and whether the
// last part of the registration (DWork, methods, version text, bit 9) ran.
struct RefusalCase {
    const char* name;
    HostRecordOptions options;
    std::function<void(HostRecord&)> script;
    const char* lastEvent;
    int fullInputs;          // inputs declared up to their sample time
    bool outputsDeclared;
    bool flagsAndChecksum;   // simStateHandling, options, checksum
    bool dworkTyped;
    bool completed;          // methods, "10.4", bit 9
};

HostRecordOptions withoutHostService(int32_t hostMode) {
    HostRecordOptions options;
    options.withHostService = false;
    options.hostMode = hostMode;
    return options;
}

HostRecordOptions withoutDataTypeSize() {
    HostRecordOptions options;
    options.withDataTypeSizeFcn = false;
    return options;
}

const RefusalCase kRefusals[] = {
    {"input count refused", {}, [](HostRecord& h) { h.numInputPortsAnswer = 0; },
     "numInputPorts 4", 0, false, false, false, false},
    {"input 2 dimension refused", {}, [](HostRecord& h) { h.inputDimsAnswerForPort[2] = 0; },
     "inputDims 2 1", 2, false, false, false, false},
    {"output count refused", {}, [](HostRecord& h) { h.numOutputPortsAnswer = 0; },
     "numOutputPorts 2", 4, false, false, false, false},
    {"output 0 dimension refused", {}, [](HostRecord& h) { h.outputDimsAnswer = 0; },
     "outputDims 0 1", 4, false, false, false, false},
    {"model information refused", {}, [](HostRecord& h) { h.answers[72] = 0; },
     "service 72 0", 4, true, true, false, false},
    {"invalid data type id", {}, [](HostRecord& h) { h.dataTypeIdFixed = true; h.dataTypeId = -10; },
     "service 132 0", 4, true, true, false, false},
    {"data type size refused", {}, [](HostRecord& h) { h.dataTypeSizeAnswer = 0; },
     "dataTypeSize 16 432", 4, true, true, false, false},
    {"no data type size function", withoutDataTypeSize(), [](HostRecord&) {},
     "service 132 0", 4, true, true, false, false},
    {"DWork count declined", {}, [](HostRecord& h) { h.numDWorkAnswer = 0; },
     "service 299 0", 4, true, true, false, true},
    {"host mode without a service gets no text id", withoutHostService(0), [](HostRecord&) {},
     "inputDims 0 1", 0, false, false, false, false},
    {"query mode without a service gets no data type id", withoutHostService(1), [](HostRecord&) {},
     "numDWork 1", 4, true, true, false, false},
};

TEST_F(Registration, RefusedStepsKeepWhatCameBefore) {
    for (const RefusalCase& c : kRefusals) {
        SCOPED_TRACE(c.name);
        HostRecord host(c.options);
        c.script(host);
        SimStruct* S = host.S();
        mdlInitializeSizes(S);

        ASSERT_FALSE(host.events.empty());
        EXPECT_EQ(host.events.back().what, c.lastEvent);
        for (int k = 0; k < 4 && S->inputPorts != nullptr; ++k)
            EXPECT_EQ(S->inputPorts[k].optimOpts, k < c.fullInputs ? 3 : 0) << "input " << k;
        EXPECT_EQ(S->outputPorts != nullptr && S->outputPorts[1].optimOpts == 3, c.outputsDeclared);
        EXPECT_EQ(ssGetSimStateHandling(S), c.flagsAndChecksum ? 3u : 0u);
        EXPECT_EQ(S->sizes[sizes_index::options], c.flagsAndChecksum ? 0x68000822 : 0);
        EXPECT_EQ(subhost_slmr_checksumCount(S), c.flagsAndChecksum ? 1 : 0);
        const bool typed = S->dWorks != nullptr && S->dWorks[0].width == 1;
        EXPECT_EQ(typed, c.dworkTyped);
        EXPECT_EQ(subhost_slmr_methodRegistrations(S), c.completed ? 3 : 0);
        EXPECT_EQ(host.serviceCount(299), c.completed ? 1 : 0);
        EXPECT_EQ(ssGetFlagBits(S, flag_bits::registrationDone), c.completed ? 1u : 0u);
    }
}

TEST_F(Registration, DeclinedDWorkCountKeepsTheDWorkCountAndSkipsItsType) {
    HostRecord host;
    host.dataTypeSizeAnswer = 0;
    mdlInitializeSizes(host.S());
    EXPECT_EQ(host.numDWorkCalls, std::vector<int32_t>{1});
    EXPECT_EQ(host.S()->numDWork, 1);
    ASSERT_NE(host.S()->dWorks, nullptr);
    EXPECT_EQ(host.S()->dWorks[0].dataTypeId, 0);
    EXPECT_EQ(host.S()->dWorks[0].width, 0);
}

TEST_F(Registration, ExtensionServicesOnlyWithAHostExtension) {
    for (bool extension : {false, true}) {
        SCOPED_TRACE(extension);
        HostRecordOptions options;
        options.withHostExtension = extension;
        HostRecord host(options);
        mdlInitializeSizes(host.S());
        EXPECT_EQ(host.serviceCount(197), extension ? 1 : 0);
        EXPECT_EQ(host.serviceCount(207), extension ? 1 : 0);
        for (const subhost::ServiceCall& call : host.serviceCalls) {
            if (call.code == 197) {
                EXPECT_EQ(call.summary, "1");
            }
            if (call.code == 207) {
                EXPECT_EQ(call.summary, "0");
            }
        }
    }
}

struct PortCountCase {
    const char* name;
    NumPortsFcn callback;
    int sizesElement;
    int32_t count;
    int32_t result;
};

const PortCountCase kPortCounts[] = {
    {"inputs -1", _RegNumInputPortsCB, sizes_index::numInputPorts, -1, 0},
    {"inputs 0", _RegNumInputPortsCB, sizes_index::numInputPorts, 0, 1},
    {"inputs 3", _RegNumInputPortsCB, sizes_index::numInputPorts, 3, 1},
    {"outputs -1", _RegNumOutputPortsCB, sizes_index::numOutputPorts, -1, 0},
    {"outputs 0", _RegNumOutputPortsCB, sizes_index::numOutputPorts, 0, 1},
    {"outputs 3", _RegNumOutputPortsCB, sizes_index::numOutputPorts, 3, 1},
};

TEST_F(Registration, QueryPortCountCallbacks) {
    for (const PortCountCase& c : kPortCounts) {
        SCOPED_TRACE(c.name);
        auto query = std::make_unique<QueryRecord>();
        SimStruct* S = query->S();
        S->sizes[c.sizesElement] = 99;
        S->sizes[sizes_index::flags] = 0x100;

        EXPECT_EQ(c.callback(S, c.count), c.result);

        const bool taken = c.result == 1;
        EXPECT_EQ(S->sizes[c.sizesElement], taken ? c.count : 99);
        EXPECT_EQ(S->sizes[sizes_index::flags], taken ? 0x102 : 0x100);
        const bool input = c.callback == _RegNumInputPortsCB;
        const void* ports = input ? static_cast<const void*>(S->inputPorts) : S->outputPorts;
        EXPECT_EQ(ports != nullptr, c.count > 0);
        if (c.count > 0) {
            const size_t bytes = c.count * (input ? sizeof(InputPortRecord) : sizeof(OutputPortRecord));
            const auto* data = static_cast<const uint8_t*>(ports);
            EXPECT_EQ(std::count(data, data + bytes, 0), static_cast<long>(bytes));
        }
    }
}

}  // namespace
