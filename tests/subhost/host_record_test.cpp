// Host-made block records: shape, the host's functions, service scripting
// and the order of what reached the host.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "subhost/control.h"
#include "subhost/host_record.h"

namespace {

using subhost::HostRecord;
using subhost::HostRecordOptions;
using Strings = std::vector<std::string>;

int32_t service(SimStruct* S, int32_t code, int32_t intValue, void* data) {
    return S->blockInfo->hostService(S, code, intValue, data);
}

void* diagnostic(const char* id, int32_t count, ...) {
    va_list args;
    va_start(args, count);
    void* result = nullptr;
    slmrCreateDiagnostic(id, count, args, &result);
    va_end(args);
    return result;
}

DimsInfo vectorDims(int32_t& width) { return DimsInfo{width, 1, &width, nullptr}; }

TEST(HostRecordShape, IsARootWithItsOwnBuffersAndFunctions) {
    HostRecord h;
    SimStruct* S = h.S();
    EXPECT_EQ(S->root, S);
    EXPECT_STREQ(S->modelName, "Quarlin_msp");
    EXPECT_STREQ(S->path, "top/Quarlin_msp");
    ASSERT_NE(S->blockInfo, nullptr);
    EXPECT_EQ(S->blockInfo->msgBuffer, h.msgBuffer());
    EXPECT_EQ(S->localMsgBuffer, h.localMsgBuffer());
    EXPECT_NE(S->blockInfo->hostService, nullptr);
    EXPECT_NE(S->blockInfo->inputPortDimsFcn, nullptr);
    EXPECT_NE(S->numDWorkFcn, nullptr);
    EXPECT_EQ(S->dataTypeContext, S);
    EXPECT_EQ(S->blockInfo->recordWriterArg, S);
    EXPECT_EQ(S->numInputPortsArg, S);
    EXPECT_EQ(S->hostExtension, nullptr);
    ASSERT_NE(S->samplePeriods, nullptr);
    ASSERT_NE(S->sampleOffsets, nullptr);
    S->samplePeriods[1] = 1.0;  // two entries each
    S->sampleOffsets[1] = 1.0;
    EXPECT_EQ(subhost::hostRecordOf(S), &h);
    SimStruct foreign{};
    EXPECT_EQ(subhost::hostRecordOf(&foreign), nullptr);

    HostRecordOptions bare;
    bare.modelName = "Quarlin";
    bare.withHostService = false;
    bare.withPortDimsFcns = false;
    bare.withNumDWorkFcn = false;
    bare.withDataTypeSizeFcn = false;
    bare.withWriterFcns = false;
    bare.withHostExtension = true;
    bare.hostMode = 1;
    HostRecord q(bare);
    EXPECT_STREQ(q.S()->modelName, "Quarlin");
    EXPECT_EQ(q.S()->blockInfo->hostService, nullptr);
    EXPECT_EQ(q.S()->blockInfo->inputPortDimsFcn, nullptr);
    EXPECT_EQ(q.S()->numDWorkFcn, nullptr);
    EXPECT_EQ(q.S()->dataTypeSizeFcn, nullptr);
    EXPECT_EQ(q.S()->blockInfo->recordTextFcn, nullptr);
    EXPECT_NE(q.S()->hostExtension, nullptr);
    EXPECT_EQ(q.S()->blockInfo->hostMode, 1);
}

TEST(HostRecordPorts, CountsMakePortsWithSignalsAndDimsSetWidths) {
    HostRecord h;
    SimStruct* S = h.S();
    ASSERT_EQ(S->numInputPortsFcn(S->numInputPortsArg, 4), 1);
    ASSERT_EQ(S->numOutputPortsFcn(S->numOutputPortsArg, 2), 1);
    EXPECT_EQ(S->sizes[sizes_index::numInputPorts], 4);
    EXPECT_EQ(S->sizes[sizes_index::numOutputPorts], 2);
    for (int k = 0; k < 4; ++k) ASSERT_NE(S->inputPorts[k].signal, nullptr) << k;
    for (int k = 0; k < 2; ++k) ASSERT_NE(S->outputPorts[k].signal, nullptr) << k;

    h.setInput(3, 1.5f);
    EXPECT_EQ(*static_cast<float*>(S->inputPorts[3].signal), 1.5f);
    *static_cast<float*>(S->outputPorts[1].signal) = -2.0f;
    EXPECT_EQ(h.output(1), -2.0f);
    h.clearInputSignal(2);
    EXPECT_EQ(S->inputPorts[2].signal, nullptr);

    int32_t width = 1;
    DimsInfo dims = vectorDims(width);
    h.inputDimsAnswerForPort[1] = 0;
    EXPECT_EQ(S->blockInfo->inputPortDimsFcn(S, 0, &dims), 1);
    EXPECT_EQ(S->blockInfo->inputPortDimsFcn(S, 1, &dims), 0);  // refused: width stays
    EXPECT_EQ(S->blockInfo->outputPortDimsFcn(S, 1, &dims), 1);
    EXPECT_EQ(S->inputPorts[0].width, 1);
    EXPECT_EQ(S->inputPorts[1].width, 0);
    EXPECT_EQ(S->outputPorts[1].width, 1);
    ASSERT_EQ(h.dimsCalls.size(), 3u);
    EXPECT_FALSE(h.dimsCalls[2].input);
    EXPECT_EQ(h.dimsCalls[2].dims, std::vector<int32_t>{1});
    EXPECT_EQ(S->inputPortCurrentDims[0][0], 1);
    h.setCurrentInputDims(0, {2, 3});
    EXPECT_EQ(S->inputPortCurrentDims[0][1], 3);

    int32_t runTimeWidth = 2147483646;  // known only from the current dimensions
    DimsInfo dynamic = vectorDims(runTimeWidth);
    EXPECT_EQ(S->blockInfo->inputPortDimsFcn(S, 3, &dynamic), 1);
    EXPECT_EQ(S->inputPorts[3].width, 2147483646);
    *static_cast<float*>(S->inputPorts[3].signal) = 1.0f;

    h.numInputPortsAnswer = 0;
    EXPECT_EQ(S->numInputPortsFcn(S->numInputPortsArg, 7), 0);
    h.numInputPortsAnswer = 1;
    EXPECT_EQ(S->numInputPortsFcn(S->numInputPortsArg, -1), 0);
    EXPECT_EQ(S->sizes[sizes_index::numInputPorts], 4);
}

TEST(HostRecordService, AnswersDefaultFixedAndInSequenceAfterOnService) {
    HostRecord h;
    SimStruct* S = h.S();
    h.answers[362] = 0;
    h.answerSequence[74] = {0, -3};
    std::vector<int32_t> seen;
    h.onService = [&](SimStruct* s, int32_t code, int32_t, void*) {
        EXPECT_EQ(s, S);
        seen.push_back(code);
    };
    EXPECT_EQ(service(S, 229, 0, nullptr), 1);
    EXPECT_EQ(service(S, 362, -1, nullptr), 0);
    EXPECT_EQ(service(S, 74, 0, nullptr), 0);
    EXPECT_EQ(service(S, 74, 0, nullptr), -3);
    EXPECT_EQ(service(S, 74, 0, nullptr), 1);
    EXPECT_EQ(seen, (std::vector<int32_t>{229, 362, 74, 74, 74}));
    EXPECT_EQ(h.serviceCodes(), seen);
    EXPECT_EQ(h.serviceCount(74), 3);
    EXPECT_EQ(h.serviceCalls[1].intValue, -1);
}

TEST(HostRecordService, WritesSlotsAndSummarisesWhatItRead) {
    HostRecord h;
    SimStruct* S = h.S();
    h.textIdSequence = {-10};
    h.contextTid = -2;

    struct { const char* text; int32_t* id; } pair{"", nullptr};
    int32_t ids[3] = {-1, -1, -1};
    pair.id = &ids[0];
    service(S, 327, 0, &pair);  // from the sequence
    pair.id = &ids[1];
    service(S, 327, 0, &pair);  // then fresh ids
    pair.id = &ids[2];
    service(S, 327, 0, &pair);
    EXPECT_EQ(ids[0], -10);
    EXPECT_GE(ids[1], 0);
    EXPECT_EQ(ids[2], ids[1] + 1);

    int32_t typeId = -1;
    service(S, 132, 0, &typeId);
    EXPECT_GE(typeId, 0);
    h.dataTypeIdFixed = true;
    h.dataTypeId = -10;
    int32_t refusedType = 0;
    service(S, 132, 0, &refusedType);
    EXPECT_EQ(refusedType, -10);

    void* sysRanBase = nullptr;
    int32_t contextTid = 0;
    service(S, 95, 0, &sysRanBase);
    service(S, 96, 0, &contextTid);
    EXPECT_EQ(sysRanBase, h.sysRanBase);
    EXPECT_EQ(contextTid, -2);

    int32_t zero = 0;
    unsigned char three[3] = {0, 0, 0};
    unsigned char one = 1;
    const char* files[] = {""};
    unsigned char registration[24] = {};
    const int32_t count = 42;
    std::memcpy(registration + 16, &count, sizeof count);
    int dataMap = 0;
    service(S, 106, 2, &zero);
    service(S, 142, 1, three);
    service(S, 197, 0, &one);
    service(S, 299, 0, const_cast<char*>("10.4"));
    service(S, 74, 0, files);
    service(S, 72, 0, registration);
    service(S, 64, 0, &dataMap);
    service(S, 148, 1, nullptr);
    EXPECT_EQ(h.keptDataMap, &dataMap);

    Strings summaries;
    for (const auto& call : h.serviceCalls) summaries.push_back(call.summary);
    const Strings expected = {"→-10", "→" + std::to_string(ids[1]), "→" + std::to_string(ids[2]),
                              std::to_string(typeId), "-10", "0x5157", "-2", "0", "0 0 0", "1",
                              "10.4", "", "42", summaries[13], ""};
    EXPECT_EQ(summaries, expected);
    EXPECT_EQ(summaries[13].rfind("0x", 0), 0u);  // the data map's address
}

TEST(HostRecordMemory, DWorkCountSizeAndMemory) {
    HostRecord h;
    SimStruct* S = h.S();
    h.numDWorkAnswer = 0;
    EXPECT_EQ(S->numDWorkFcn(S, 1), 0);
    EXPECT_EQ(S->dWorks, nullptr);
    h.numDWorkAnswer = 1;
    EXPECT_EQ(S->numDWorkFcn(S, 1), 1);
    EXPECT_EQ(S->numDWork, 1);
    ASSERT_NE(S->dWorks, nullptr);
    EXPECT_EQ(h.numDWorkCalls, (std::vector<int32_t>{1, 1}));

    h.dataTypeSizeAnswer = 0;
    EXPECT_EQ(S->dataTypeSizeFcn(S->dataTypeContext, 16, 432), 0);
    ASSERT_EQ(h.dataTypeSizeCalls.size(), 1u);
    EXPECT_EQ(h.dataTypeSizeCalls[0], std::make_pair(16, 432));

    h.giveDWork(432, 0xAB);
    ASSERT_EQ(S->dWorks[0].data, h.dworkData());
    EXPECT_EQ(static_cast<unsigned char*>(h.dworkData())[431], 0xABu);
    h.giveDWork();
    EXPECT_EQ(static_cast<unsigned char*>(h.dworkData())[431], 0u);

    h.giveWorkVectors(3, 2, 1);
    EXPECT_EQ(S->sizes[sizes_index::numIWork], 3);
    S->iWork[2] = 1;
    S->rWork[1] = 1.0;
    S->pWork[0] = S;
    h.giveStates(0);
    ASSERT_NE(S->states, nullptr);
    EXPECT_NE(S->states->absTol, nullptr);
    EXPECT_NE(S->states->subRecordA, nullptr);
}

TEST(HostRecordWriters, RecordWhatWasWrittenAndAnswerAsScripted) {
    HostRecord h;
    SimStruct* S = h.S();
    BlockInfo* b = S->blockInfo;
    h.valueBytesToCopy = 4;
    h.writerAnswerAt[1] = 0;
    const float value = 2.5f;
    EXPECT_EQ(b->recordTextFcn(b->recordWriterArg, "SFcnParamSettings {"), 1);
    EXPECT_EQ(b->recordPairFcn(b->recordWriterArg, 3, "Gain", &value, 1, 1, 1), 0);
    h.paramAnswer = 7;
    EXPECT_EQ(b->recordParamFcn(b->recordWriterArg, 0, "P", "text", &value, 0, 1, 1), 7);

    ASSERT_EQ(h.writerCalls.size(), 3u);
    EXPECT_EQ(h.writerCalls[0].text, "SFcnParamSettings {");
    const auto& pair = h.writerCalls[1];
    EXPECT_EQ(pair.kind, subhost::WriterCall::Kind::pair);
    EXPECT_EQ(pair.name, "Gain");
    EXPECT_EQ(pair.value, &value);
    ASSERT_EQ(pair.valueBytes.size(), 4u);
    float copied = 0;
    std::memcpy(&copied, pair.valueBytes.data(), 4);
    EXPECT_EQ(copied, 2.5f);
    EXPECT_EQ(h.writerCalls[2].text, "text");
}

TEST(HostRecordEvents, OneLogInTheOrderOfTheCalls) {
    HostRecord h;
    SimStruct* S = h.S();
    int32_t zero = 0;
    int32_t width = 1;
    DimsInfo dims = vectorDims(width);
    service(S, 362, -1, nullptr);
    S->numInputPortsFcn(S->numInputPortsArg, 4);
    S->blockInfo->inputPortDimsFcn(S, 0, &dims);
    service(S, 106, 0, &zero);
    S->numOutputPortsFcn(S->numOutputPortsArg, 2);
    S->blockInfo->outputPortDimsFcn(S, 1, &dims);
    S->numDWorkFcn(S, 1);
    S->dataTypeSizeFcn(S->dataTypeContext, 16, 432);
    S->blockInfo->recordTextFcn(S->blockInfo->recordWriterArg, "Block {");
    S->blockInfo->recordPairFcn(S->blockInfo->recordWriterArg, 1, "Name", "x", 0, 1, 1);
    S->blockInfo->recordParamFcn(S->blockInfo->recordWriterArg, 2, "P", "t", nullptr, 0, 1, 1);
    EXPECT_EQ(h.eventNames(), (Strings{"service 362 -1", "numInputPorts 4", "inputDims 0 1", "service 106 0",
                                       "numOutputPorts 2", "outputDims 1 1", "numDWork 1", "dataTypeSize 16 432",
                                       "text Block {", "pair 1 Name", "param 2 P"}));
}

TEST(HostRecordErrors, SlotsReadAsTextOrDiagnostic) {
    HostRecord h;
    SimStruct* S = h.S();
    EXPECT_EQ(h.errorStatus(), "");
    std::strcpy(h.msgBuffer(), "formatted");
    S->errorStatus = h.msgBuffer();
    EXPECT_EQ(h.errorStatus(), "formatted");
    S->localErrorStatus = "local";
    EXPECT_EQ(h.localErrorStatus(), "local");

    S->localErrorStatus = static_cast<const char*>(diagnostic("Simulink:blocks:Diag", 0));
    S->localErrorStatusIsDiagnostic = 1;
    EXPECT_EQ(h.localErrorStatus(), "diagnostic Simulink:blocks:Diag");
}

TEST(HostRecordLifetime, DestroyingTheRecordForgetsWhatTheHostRecorded) {
    const SimStruct* gone = nullptr;
    {
        HostRecord h;
        gone = h.S();
        slmrInitializeIOPortDataVectors(h.S(), 4, 2);
        slmrRunPluginEvent(h.S(), "Quarlin", "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT");
        ssFxpSetU32BitRegionCompliant(h.S(), 1);
        EXPECT_EQ(subhost_slmr_ioPortVectorsCalls(gone), 1);
    }
    EXPECT_EQ(subhost_slmr_ioPortVectorsCalls(gone), 0);
    EXPECT_EQ(subhost_slmr_pluginEventCount(gone), 0);
    EXPECT_EQ(subhost_fxp_callCount(gone), 0);
    EXPECT_EQ(subhost::hostRecordOf(const_cast<SimStruct*>(gone)), nullptr);
}

}  // namespace
