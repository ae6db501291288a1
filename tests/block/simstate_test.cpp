// The simulation-state snapshot: its tree, a restore that returns an
// instance to it exactly, the refusal of trees this build did not make, and
// the copy routines between model memory and host arrays.

#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>

#include "block_fixture.h"
#include "mdlref/mr_Quarlin.h"

namespace {

using SimState = BlockTest;

mxArray* field(const mxArray* array, int32_t number) { return mxGetFieldByNumber_800(array, 0, number); }
mxArray* instanceOf(const mxArray* snapshot) { return field(snapshot, 1); }
mxArray* statesOf(const mxArray* snapshot) { return field(instanceOf(snapshot), 1); }

std::vector<uint8_t> dataOf(const mxArray* array) {
    const auto* data = static_cast<const uint8_t*>(mxGetData_800(array));
    return {data, data + mxGetNumberOfElements_800(array) * mxGetElementSize_800(array)};
}

mxArray* byteArray(size_t rows, size_t columns, uint8_t fill = 0, int32_t classId = mx_class::uint8,
                   int32_t complexity = mxREAL) {
    mxArray* array = mxCreateNumericMatrix_800(rows, columns, classId, complexity);
    auto* data = static_cast<uint8_t*>(mxGetData_800(array));
    std::fill(data, data + rows * columns * mxGetElementSize_800(array), fill);
    return array;
}

std::vector<std::string> fieldNames(const mxArray* array) {
    std::vector<std::string> names;
    for (int32_t f = 0; f < mxGetNumberOfFields_800(array); ++f) names.emplace_back(mxGetFieldNameByNumber_800(array, f));
    return names;
}

// "mdlrefDW->rtdw." + ten of a-z and 0-9, the first a letter, + "_prot".
bool isStateFieldName(const std::string& name) {
    const std::string prefix = "mdlrefDW->rtdw.";
    if (name.size() != 30 || name.compare(0, prefix.size(), prefix) != 0) return false;
    if (name.compare(25, 5, "_prot") != 0 || !std::islower(static_cast<unsigned char>(name[15]))) return false;
    for (size_t i = 15; i < 25; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::islower(c) && !std::isdigit(c)) return false;
    }
    return true;
}

// What a restore writes: the block signals, the states and the run flags.
std::vector<uint8_t> savedParts(const Quarlin_MdlrefDW& dw) {
    std::vector<uint8_t> bytes = bytesOf(dw.rtb);
    const auto states = bytesOf(dw.rtdw);
    bytes.insert(bytes.end(), states.begin() + offsetof(Quarlin_DW, emfAlpha),
                 states.begin() + offsetof(Quarlin_DW, wrapHighRan) + 1);
    return bytes;
}

void run(BlockInstance& block, int firstSample, int samples, std::vector<uint32_t>* outputs = nullptr) {
    for (int sample = firstSample; sample < firstSample + samples; ++sample) {
        driveInputs(block, sample);
        block.step();
        if (outputs != nullptr) {
            outputs->push_back(bitsOf(block.host.output(0)));
            outputs->push_back(bitsOf(block.host.output(1)));
        }
    }
}

TEST_F(SimState, TreeAfterInitialisation) {
    BlockInstance block;
    SimStruct* S = block.S();
    S->tNext = 0.0125;
    S->tNextTid = -1;
    const size_t live = subhost_mx_liveArrays();
    const mxArray* snapshot = mdlGetSimState(S);
    EXPECT_EQ(subhost_mx_liveArrays() - live, 16u);

    ASSERT_TRUE(mr_Quarlin_isStruct1x1(snapshot));
    EXPECT_EQ(fieldNames(snapshot), (std::vector<std::string>{"localX", "mdlrefDW", "disallowedStateData",
                                                              "tNext", "tNextTid",
                                                              "nonContDerivSigInfoPrevVal"}));
    for (int32_t empty : {0, 2, 5}) EXPECT_EQ(field(snapshot, empty), nullptr) << empty;
    EXPECT_EQ(mxGetClassID_800(field(snapshot, 3)), mx_class::doubleClass);
    EXPECT_EQ(bitsOf(mxGetScalar_800(field(snapshot, 3))), bitsOf(0.0125));
    EXPECT_EQ(mxGetScalar_800(field(snapshot, 4)), -1.0);

    const mxArray* instance = instanceOf(snapshot);
    ASSERT_TRUE(mr_Quarlin_isStruct1x1(instance));
    EXPECT_EQ(fieldNames(instance), (std::vector<std::string>{"rtb", "rtdw", "NULL->rtzce"}));
    EXPECT_EQ(field(instance, 2), nullptr);
    const mxArray* rtb = field(instance, 0);
    EXPECT_EQ(mxGetClassID_800(rtb), mx_class::uint8);
    EXPECT_FALSE(mxIsComplex_800(rtb));
    EXPECT_EQ(mxGetM_800(rtb), 1u);
    EXPECT_EQ(dataOf(rtb), std::vector<uint8_t>(28, 0));

    const mxArray* states = statesOf(snapshot);
    ASSERT_TRUE(mr_Quarlin_isStruct1x1(states));
    const std::vector<std::string> names = fieldNames(states);
    ASSERT_EQ(names.size(), 10u);
    for (const std::string& name : names) EXPECT_TRUE(isStateFieldName(name)) << name;
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 10u);
    for (int32_t f = 0; f < 10; ++f) {
        SCOPED_TRACE(f);
        const mxArray* state = field(states, f);
        EXPECT_EQ(mxGetClassID_800(state), mx_class::uint8);
        EXPECT_EQ(mxGetM_800(state), 1u);
        EXPECT_EQ(dataOf(state), std::vector<uint8_t>(f < 7 ? 4 : 1, 0));
    }
}

TEST_F(SimState, StatesGoIntoTheirFieldsInOrder) {
    BlockInstance block;
    Quarlin_DW& dw = block.container().rtdw;
    const float states[7] = {1.5f, -2.25f, 3.0f, 0.125f, -7.0f, 9.5f, -0.5f};
    dw.emfAlpha = states[0];
    dw.emfBeta = states[1];
    dw.speed = states[2];
    dw.angle = states[3];
    dw.pllIntegrator = states[4];
    dw.currentBeta = states[5];
    dw.currentAlpha = states[6];
    dw.noWrapRan = 2;
    dw.wrapLowRan = 3;
    dw.wrapHighRan = 4;
    const mxArray* snapshot = mdlGetSimState(block.S());
    for (int32_t f = 0; f < 7; ++f) EXPECT_EQ(dataOf(field(statesOf(snapshot), f)), bytesOf(states[f])) << f;
    for (int32_t f = 7; f < 10; ++f) EXPECT_EQ(dataOf(field(statesOf(snapshot), f)), std::vector<uint8_t>{uint8_t(f - 5)});
}

TEST_F(SimState, RestoreReturnsToTheSnapshotAndTheSameOutputsFollow) {
    BlockInstance block;
    run(block, 0, 25);
    const auto atSnapshot = savedParts(block.container());
    const mxArray* snapshot = mdlGetSimState(block.S());

    std::vector<uint32_t> first;
    run(block, 25, 30, &first);
    ASSERT_NE(savedParts(block.container()), atSnapshot);

    mdlSetSimState(block.S(), snapshot);
    EXPECT_EQ(block.host.errorStatus(), "");
    EXPECT_EQ(savedParts(block.container()), atSnapshot);
    std::vector<uint32_t> again;
    run(block, 25, 30, &again);
    EXPECT_EQ(again, first);
}

struct NextHitCase {
    const char* name;
    double tNext;
    int32_t tNextTid;
};

const NextHitCase kNextHits[] = {
    {"task -1", 0.0003, -1},
    {"task 0", 7e-4, 0},
    {"lowest task, negative zero", -0.0, std::numeric_limits<int32_t>::min()},
    {"highest task, infinite time", std::numeric_limits<double>::infinity(),
     std::numeric_limits<int32_t>::max()},
    {"smallest subnormal", 5e-324, 12345},
};

TEST_F(SimState, NextHitTimeAndTaskComeBackExactly) {
    for (const NextHitCase& c : kNextHits) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        SimStruct* S = block.S();
        S->tNext = c.tNext;
        S->tNextTid = c.tNextTid;
        const mxArray* snapshot = mdlGetSimState(S);
        S->tNext = 99.0;
        S->tNextTid = 99;
        mdlSetSimState(S, snapshot);
        EXPECT_EQ(bitsOf(S->tNext), bitsOf(c.tNext));
        EXPECT_EQ(S->tNextTid, c.tNextTid);
    }
}

TEST_F(SimState, RestoreLeavesTheInstanceRecordAndSpareWordAlone) {
    subhost_slmr_setTopTid(0, 4);
    subhost_slmr_setTopTid(1, 9);
    BlockInstance block;
    run(block, 0, 10);
    const mxArray* snapshot = mdlGetSimState(block.S());
    run(block, 10, 5);
    Quarlin_MdlrefDW& dw = block.container();
    dw.rtdw.spareWord = 0x1122334455667788u;
    const auto rtm = bytesOf(dw.rtm);

    mdlSetSimState(block.S(), snapshot);

    EXPECT_EQ(dw.rtdw.spareWord, 0x1122334455667788u);
    EXPECT_EQ(bytesOf(dw.rtm), rtm);
    EXPECT_EQ(dw.rtm.globalTid[0], 4);
    EXPECT_EQ(dw.rtm.globalTid[1], 9);
}

TEST_F(SimState, RestoreIntoASecondInstanceLeavesTheFirstUntouched) {
    BlockInstance first;
    run(first, 0, 20);
    BlockInstance second;
    run(second, 100, 3);
    const auto firstBefore = bytesOf(first.container());
    const auto secondRtm = bytesOf(second.container().rtm);

    mdlSetSimState(second.S(), mdlGetSimState(first.S()));

    EXPECT_EQ(savedParts(second.container()), savedParts(first.container()));
    EXPECT_EQ(bytesOf(second.container().rtm), secondRtm);
    run(second, 20, 5);
    EXPECT_EQ(bytesOf(first.container()), firstBefore);
}

// ---------------------------------------------------------------------------
// Trees that this build did not make.

using Edit = std::function<const mxArray*(mxArray* snapshot)>;

// Replaces one field; null empties it.
Edit setField(std::function<mxArray*(mxArray*)> parent, int32_t number, std::function<mxArray*()> make) {
    return [=](mxArray* snapshot) -> const mxArray* {
        mxSetFieldByNumber_800(parent(snapshot), 0, number, make ? make() : nullptr);
        return snapshot;
    };
}

mxArray* outer(mxArray* snapshot) { return snapshot; }
mxArray* instance(mxArray* snapshot) { return instanceOf(snapshot); }
mxArray* states(mxArray* snapshot) { return statesOf(snapshot); }

// A struct of `count` fields named f0, f1, ...
mxArray* structOf(size_t rows, size_t columns, int32_t count) {
    static const char* names[] = {"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8", "f9"};
    return mxCreateStructMatrix_800(rows, columns, count, names);
}

mxArray* doubleScalar(double value) { return mxCreateDoubleScalar_800(value); }

struct MalformedCase {
    const char* name;
    Edit edit;
    const char* problem;
};

const char* const kNotAStruct = "Invalid simulation state: not a 1x1 struct";
const char* const kBadInstance = "Invalid simulation state: mdlrefDW is not a 1x1 struct";
const char* const kBadRtb = "Invalid simulation state: mdlrefDW.rtb is not a real uint8 array of at least 28 bytes";
const char* const kBadRtdw = "Invalid simulation state: mdlrefDW.rtdw is not a 1x1 struct";
const char* const kBadTNext = "Invalid simulation state: tNext is not a real numeric scalar";
const char* const kBadTNextTid = "Invalid simulation state: tNextTid is not a real numeric scalar";
const char* const kTidOutOfRange = "Invalid simulation state: tNextTid is not a whole number in the signed 32-bit range";

const double kTwoTo31 = 2147483648.0;

const MalformedCase kMalformed[] = {
    {"no array", [](mxArray*) -> const mxArray* { return nullptr; }, kNotAStruct},
    {"a double", [](mxArray*) -> const mxArray* { return doubleScalar(1.0); }, kNotAStruct},
    {"a 1x2 struct", [](mxArray*) -> const mxArray* { return structOf(1, 2, 6); }, kNotAStruct},
    {"instance empty", setField(outer, 1, nullptr), kBadInstance},
    {"instance a byte array", setField(outer, 1, [] { return byteArray(1, 28); }), kBadInstance},
    {"instance 2x1", setField(outer, 1, [] { return structOf(2, 1, 3); }), kBadInstance},
    {"rtb empty", setField(instance, 0, nullptr), kBadRtb},
    {"rtb 27 bytes", setField(instance, 0, [] { return byteArray(1, 27); }), kBadRtb},
    {"rtb 0x28", setField(instance, 0, [] { return byteArray(0, 28); }), kBadRtb},
    {"rtb int8", setField(instance, 0, [] { return byteArray(1, 28, 0, mx_class::int8); }), kBadRtb},
    {"rtb complex", setField(instance, 0, [] { return byteArray(1, 28, 0, mx_class::uint8, mxCOMPLEX); }), kBadRtb},
    {"rtb a struct", setField(instance, 0, [] { return structOf(1, 1, 1); }), kBadRtb},
    {"instance without rtdw",
     [](mxArray* snapshot) -> const mxArray* {
         mxArray* shortInstance = structOf(1, 1, 1);
         mxSetFieldByNumber_800(shortInstance, 0, 0, byteArray(1, 28));
         mxSetFieldByNumber_800(snapshot, 0, 1, shortInstance);
         return snapshot;
     },
     kBadRtdw},
    {"rtdw empty", setField(instance, 1, nullptr), kBadRtdw},
    {"rtdw 1x2", setField(instance, 1, [] { return structOf(1, 2, 10); }), kBadRtdw},
    {"rtdw a double", setField(instance, 1, [] { return doubleScalar(0.0); }), kBadRtdw},
    {"rtdw of nine fields",
     [](mxArray* snapshot) -> const mxArray* {
         mxArray* nine = structOf(1, 1, 9);
         for (int32_t f = 0; f < 9; ++f) mxSetFieldByNumber_800(nine, 0, f, byteArray(1, 4));
         mxSetFieldByNumber_800(instanceOf(snapshot), 0, 1, nine);
         return snapshot;
     },
     "Invalid simulation state: mdlrefDW.rtdw field 9 is not a real uint8 array of at least 1 byte"},
    {"state 0 a double", setField(states, 0, [] { return doubleScalar(0.0); }),
     "Invalid simulation state: mdlrefDW.rtdw field 0 is not a real uint8 array of at least 4 bytes"},
    {"state 4 three bytes", setField(states, 4, [] { return byteArray(1, 3); }),
     "Invalid simulation state: mdlrefDW.rtdw field 4 is not a real uint8 array of at least 4 bytes"},
    {"state 6 empty", setField(states, 6, nullptr),
     "Invalid simulation state: mdlrefDW.rtdw field 6 is not a real uint8 array of at least 4 bytes"},
    {"run flag 7 empty", setField(states, 7, nullptr),
     "Invalid simulation state: mdlrefDW.rtdw field 7 is not a real uint8 array of at least 1 byte"},
    {"run flag 8 of no bytes", setField(states, 8, [] { return byteArray(1, 0); }),
     "Invalid simulation state: mdlrefDW.rtdw field 8 is not a real uint8 array of at least 1 byte"},
    {"tNext empty", setField(outer, 3, nullptr), kBadTNext},
    {"tNext a text", setField(outer, 3, [] { return mxCreateString_800("0.1"); }), kBadTNext},
    {"tNext complex", setField(outer, 3, [] { return mxCreateDoubleMatrix_800(1, 1, mxCOMPLEX); }), kBadTNext},
    {"tNext 1x2", setField(outer, 3, [] { return mxCreateDoubleMatrix_800(1, 2, mxREAL); }), kBadTNext},
    {"tNextTid empty", setField(outer, 4, nullptr), kBadTNextTid},
    {"tNextTid logical", setField(outer, 4, [] { return byteArray(1, 1, 1, mx_class::logical); }), kBadTNextTid},
    {"tNextTid 2.5", setField(outer, 4, [] { return doubleScalar(2.5); }), kTidOutOfRange},
    {"tNextTid NaN", setField(outer, 4, [] { return doubleScalar(std::nan("")); }), kTidOutOfRange},
    {"tNextTid infinite", setField(outer, 4, [] { return doubleScalar(-INFINITY); }), kTidOutOfRange},
    {"tNextTid 2^31", setField(outer, 4, [] { return doubleScalar(kTwoTo31); }), kTidOutOfRange},
    {"tNextTid -2^31-1", setField(outer, 4, [] { return doubleScalar(-kTwoTo31 - 1.0); }), kTidOutOfRange},
};

// The snapshot of an instance after 10 samples, with next hit 0.001 s on
// task 0; the instance is then moved on 10 samples, to next hit 0.002 s on
// task 1, so that whatever a restore writes shows.  `atSnapshot`, when
// given, receives what a restore of the snapshot writes back.
mxArray* snapshotThenMoveOn(BlockInstance& block, std::vector<uint8_t>* atSnapshot = nullptr) {
    SimStruct* S = block.S();
    run(block, 0, 10);
    S->tNext = 0.001;
    S->tNextTid = 0;
    if (atSnapshot != nullptr) *atSnapshot = savedParts(block.container());
    mxArray* snapshot = mdlGetSimState(S);
    run(block, 10, 10);
    S->tNext = 0.002;
    S->tNextTid = 1;
    return snapshot;
}

// Every tree is taken from an earlier state than the one it is restored
// into, so that any partial write would show.
TEST_F(SimState, MalformedTreesAreRefusedWholeAndChangeNothing) {
    for (const MalformedCase& c : kMalformed) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        SimStruct* S = block.S();
        mxArray* snapshot = snapshotThenMoveOn(block);
        const auto container = bytesOf(block.container());

        mdlSetSimState(S, c.edit(snapshot));

        // A constant text: no host catalogue is asked, the buffer is untouched.
        EXPECT_STREQ(S->errorStatus, c.problem);
        EXPECT_NE(S->errorStatus, S->blockInfo->msgBuffer);
        EXPECT_EQ(S->blockInfo->errorStatusIsDiagnostic, 0);
        EXPECT_EQ(bytesOf(block.container()), container);
        EXPECT_EQ(bitsOf(S->tNext), bitsOf(0.002));
        EXPECT_EQ(S->tNextTid, 1);
    }
}

// The instance-level restore guards itself the same way.
TEST_F(SimState, InstanceRestoreLeavesTheContainerAloneForAMalformedTree) {
    BlockInstance block;
    mxArray* snapshot = snapshotThenMoveOn(block);
    const auto container = bytesOf(block.container());

    mr_Quarlin_SetDWork(&block.container(), nullptr);
    EXPECT_EQ(bytesOf(block.container()), container);
    mxSetFieldByNumber_800(statesOf(snapshot), 0, 9, nullptr);
    EXPECT_STREQ(mr_Quarlin_CheckDWork(instanceOf(snapshot)),
                 "Invalid simulation state: mdlrefDW.rtdw field 9 is not a real uint8 array of at least 1 byte");
    mr_Quarlin_SetDWork(&block.container(), instanceOf(snapshot));
    EXPECT_EQ(bytesOf(block.container()), container);
}

// Trees that hold more than the restore reads, or hold it in another
// acceptable form, restore exactly what the layout gives.
struct WellFormedCase {
    const char* name;
    Edit edit;
    double tNext;
    int32_t tNextTid;
};

// The same bytes followed by `extra` bytes of 0xEE, in a rows x columns array.
Edit padded(std::function<mxArray*(mxArray*)> parent, int32_t number, size_t rows, size_t columns) {
    return [=](mxArray* snapshot) -> const mxArray* {
        const std::vector<uint8_t> bytes = dataOf(field(parent(snapshot), number));
        mxArray* longer = byteArray(rows, columns, 0xEE);
        std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(mxGetData_800(longer)));
        mxSetFieldByNumber_800(parent(snapshot), 0, number, longer);
        return snapshot;
    };
}

mxArray* int32Scalar(int32_t value) {
    mxArray* array = mxCreateNumericMatrix_800(1, 1, mx_class::int32, mxREAL);
    *static_cast<int32_t*>(mxGetData_800(array)) = value;
    return array;
}

const WellFormedCase kWellFormed[] = {
    {"as made", [](mxArray* s) -> const mxArray* { return s; }, 0.001, 0},
    {"rtb of 40 bytes", padded(instance, 0, 1, 40), 0.001, 0},
    {"rtb as a 28x1 column", padded(instance, 0, 28, 1), 0.001, 0},
    {"rtb as 4x7", padded(instance, 0, 4, 7), 0.001, 0},
    {"state of 8 bytes", padded(states, 2, 1, 8), 0.001, 0},
    {"run flag of 3 bytes", padded(states, 9, 1, 3), 0.001, 0},
    {"tNextTid an int32", setField(outer, 4, [] { return int32Scalar(-7); }), 0.001, -7},
    {"tNextTid -0", setField(outer, 4, [] { return doubleScalar(-0.0); }), 0.001, 0},
    {"tNext NaN", setField(outer, 3, [] { return doubleScalar(std::nan("")); }), std::nan(""), 0},
};

TEST_F(SimState, WellFormedVariantsRestoreTheLayoutsBytes) {
    for (const WellFormedCase& c : kWellFormed) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        SimStruct* S = block.S();
        std::vector<uint8_t> atSnapshot;
        mxArray* snapshot = snapshotThenMoveOn(block, &atSnapshot);

        mdlSetSimState(S, c.edit(snapshot));

        EXPECT_EQ(block.host.errorStatus(), "");
        EXPECT_EQ(savedParts(block.container()), atSnapshot);
        EXPECT_EQ(bitsOf(S->tNext), bitsOf(c.tNext));
        EXPECT_EQ(S->tNextTid, c.tNextTid);
    }
}

// ---------------------------------------------------------------------------
// The copy routines that this model does not use.

struct BitFieldCase {
    const char* name;
    double stored;
    uint32_t width;
    uint32_t expected;
};

const double kTwoTo70 = 1180591620717411303424.0;

const BitFieldCase kBitFields[] = {
    {"small value, full width", 5.0, 32, 5u},
    {"all ones, full width", 4294967295.0, 32, 0xFFFFFFFFu},
    {"all ones, wider than 32", 4294967295.0, 40, 0xFFFFFFFFu},
    {"all ones, width 64", 4294967295.0, 64, 0xFFFFFFFFu},
    {"all ones, 31 bits", 4294967295.0, 31, 0x7FFFFFFFu},
    {"width 0", 5.0, 0, 0u},
    {"minus one, full width", -1.0, 32, 0xFFFFFFFFu},
    {"minus one, 8 bits", -1.0, 8, 0xFFu},
    {"fraction truncated toward zero", 7.9, 2, 3u},
    {"negative fraction truncated toward zero", -2.5, 4, 0xEu},
    {"above 32 bits keeps the low word", 4503599627382841.0 /* 2^52 + 12345 */, 32, 12345u},
    {"beyond 64 bits", kTwoTo70 + 786432.0, 32, 0x000C0000u},
    {"beyond 64 bits, negative", -(kTwoTo70 + 786432.0), 32, 0xFFF40000u},
    {"NaN", std::nan(""), 32, 0u},
    {"infinity", INFINITY, 32, 0u},
};

TEST_F(SimState, BitFieldReadersMaskTheLowWordOfTheTruncatedValue) {
    const char* names[] = {"value", "cells"};
    for (const BitFieldCase& c : kBitFields) {
        SCOPED_TRACE(c.name);
        mxArray* holder = mxCreateStructMatrix_800(1, 1, 2, names);
        mxSetFieldByNumber_800(holder, 0, 0, doubleScalar(c.stored));
        mxSetFieldByNumber_800(holder, 0, 1, mxCreateCellMatrix_800(1, 3));
        mxSetCell_800(field(holder, 1), 2, doubleScalar(c.stored));
        EXPECT_EQ(mr_Quarlin_extractBitFieldFromMxArray(holder, 0, 0, c.width), c.expected);
        EXPECT_EQ(mr_Quarlin_extractBitFieldFromCellArrayWithOffset(holder, 0, 1, 2, c.width), c.expected);
    }
}

TEST_F(SimState, BitFieldWritersStoreTheExactValue) {
    const char* names[] = {"value", "cells"};
    mxArray* holder = mxCreateStructMatrix_800(1, 1, 2, names);
    mxSetFieldByNumber_800(holder, 0, 1, mxCreateCellMatrix_800(1, 3));
    mr_Quarlin_cacheBitFieldToMxArray(holder, 0, 0, 0xFFFFFFFFu);
    mr_Quarlin_cacheBitFieldToCellArrayWithOffset(holder, 0, 1, 1, 0x80000001u);
    EXPECT_EQ(bitsOf(mxGetScalar_800(field(holder, 0))), bitsOf(4294967295.0));
    EXPECT_EQ(bitsOf(mxGetScalar_800(mxGetCell_800(field(holder, 1), 1))), bitsOf(2147483649.0));
    EXPECT_EQ(mxGetCell_800(field(holder, 1), 0), nullptr);
}

TEST_F(SimState, OffsetCopiesAddressElementTimesSize) {
    const char* names[] = {"data"};
    mxArray* holder = mxCreateStructMatrix_800(1, 1, 1, names);
    mxSetFieldByNumber_800(holder, 0, 0, byteArray(1, 12));
    const float value = -3.75f;
    mr_Quarlin_cacheDataToMxArrayWithOffset(holder, 0, 0, 2, &value, sizeof value);

    std::vector<uint8_t> expected(12, 0);
    std::memcpy(expected.data() + 8, &value, sizeof value);
    EXPECT_EQ(dataOf(field(holder, 0)), expected);

    float back = 0.0f;
    mr_Quarlin_restoreDataFromMxArrayWithOffset(&back, holder, 0, 0, 2, sizeof back);
    EXPECT_EQ(bitsOf(back), bitsOf(value));
}

}  // namespace
