// Host arrays: kinds, reading, fields and cells, and who owns what.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "subhost/control.h"

namespace {

// Every test runs in a scope of its own, which must leave nothing behind.
class Mx : public ::testing::Test {
protected:
    void SetUp() override {
        arraysBefore_ = subhost_mx_liveArrays();
        blocksBefore_ = subhost_mx_liveBlocks();
        subhost_mx_beginScope();
    }
    void TearDown() override {
        subhost_mx_endScope();
        EXPECT_EQ(subhost_mx_liveArrays(), arraysBefore_);
        EXPECT_EQ(subhost_mx_liveBlocks(), blocksBefore_);
    }
    size_t live() const { return subhost_mx_liveArrays(); }

private:
    size_t arraysBefore_ = 0;
    size_t blocksBefore_ = 0;
};

struct ClassCase {
    const char* name;
    int32_t classId;
    size_t elementSize;
    bool numeric;
    double stored;  // written into element 0, read back by mxGetScalar
};

const ClassCase kClasses[] = {
    {"double", mx_class::doubleClass, 8, true, -2.5},
    {"single", mx_class::singleClass, 4, true, -2.5},
    {"int8", mx_class::int8, 1, true, -128},
    {"uint8", mx_class::uint8, 1, true, 255},
    {"int16", mx_class::int16, 2, true, -32768},
    {"uint16", mx_class::uint16, 2, true, 65535},
    {"int32", mx_class::int32, 4, true, -2147483648.0},
    {"uint32", mx_class::uint32, 4, true, 4294967295.0},
    {"int64", mx_class::int64, 8, true, -9007199254740992.0},
    {"uint64", mx_class::uint64, 8, true, 9007199254740992.0},
    {"logical", mx_class::logical, 1, false, 1},
};

void storeFirst(void* data, int32_t classId, double v) {
    switch (classId) {
        case mx_class::doubleClass: *static_cast<double*>(data) = v; break;
        case mx_class::singleClass: *static_cast<float*>(data) = static_cast<float>(v); break;
        case mx_class::int8: *static_cast<int8_t*>(data) = static_cast<int8_t>(v); break;
        case mx_class::uint8: *static_cast<uint8_t*>(data) = static_cast<uint8_t>(v); break;
        case mx_class::int16: *static_cast<int16_t*>(data) = static_cast<int16_t>(v); break;
        case mx_class::uint16: *static_cast<uint16_t*>(data) = static_cast<uint16_t>(v); break;
        case mx_class::int32: *static_cast<int32_t*>(data) = static_cast<int32_t>(v); break;
        case mx_class::uint32: *static_cast<uint32_t*>(data) = static_cast<uint32_t>(v); break;
        case mx_class::int64: *static_cast<int64_t*>(data) = static_cast<int64_t>(v); break;
        case mx_class::uint64: *static_cast<uint64_t*>(data) = static_cast<uint64_t>(v); break;
        case mx_class::logical: *static_cast<uint8_t*>(data) = 7; break;  // any non-zero is true
    }
}

class MxClass : public Mx, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(MxClass, MakesZeroedMatrixAndReadsFirstElement) {
    const ClassCase& c = GetParam();
    for (auto make : {mxCreateNumericMatrix_800, mxCreateUninitNumericMatrix_800}) {
        mxArray* a = make(2, 3, c.classId, mxREAL);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(mxGetClassID_800(a), c.classId);
        EXPECT_EQ(mxGetM_800(a), 2u);
        EXPECT_EQ(mxGetN_800(a), 3u);
        EXPECT_EQ(mxGetElementSize_800(a), c.elementSize);
        EXPECT_EQ(mxIsNumeric_800(a), c.numeric);
        EXPECT_FALSE(mxIsComplex_800(a));
        const auto* bytes = static_cast<const unsigned char*>(mxGetData_800(a));
        for (size_t i = 0; i < 6 * c.elementSize; ++i) ASSERT_EQ(bytes[i], 0u) << i;
        storeFirst(mxGetData_800(a), c.classId, c.stored);
        EXPECT_EQ(mxGetScalar_800(a), c.stored);
        EXPECT_EQ(mxGetPr_800(a)[0], c.stored);  // as doubles, whatever the class
        EXPECT_EQ(mxGetPr_800(a)[5], 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, MxClass, ::testing::ValuesIn(kClasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Mx, DoubleMatricesScalarsAndComplex) {
    mxArray* column = mxCreateDoubleMatrix_800(40, 1, mxREAL);
    EXPECT_EQ(mxGetM_800(column), 40u);
    EXPECT_EQ(mxGetPr_800(column), mxGetData_800(column));
    EXPECT_EQ(mxGetImagData_800(column), nullptr);

    mxArray* z = mxCreateDoubleMatrix_800(1, 1, mxCOMPLEX);
    EXPECT_TRUE(mxIsComplex_800(z));
    ASSERT_NE(mxGetImagData_800(z), nullptr);
    EXPECT_EQ(*static_cast<double*>(mxGetImagData_800(z)), 0.0);

    EXPECT_EQ(std::bit_cast<uint64_t>(mxGetScalar_800(mxCreateDoubleScalar_800(-0.0))), 0x8000000000000000u);
    EXPECT_EQ(std::bit_cast<uint64_t>(mxGetInf_800()), 0x7FF0000000000000u);

    mxArray* empty = mxCreateDoubleMatrix_800(0, 3, mxREAL);
    EXPECT_EQ(mxGetNumberOfElements_800(empty), 0u);
    EXPECT_EQ(mxGetPr_800(empty), nullptr);
    EXPECT_EQ(mxGetScalar_800(empty), 0.0);

    EXPECT_EQ(mxCreateNumericMatrix_800(1, 1, mx_class::character, mxREAL), nullptr);
    EXPECT_EQ(mxCreateNumericMatrix_800(1, 1, mx_class::logical, mxCOMPLEX), nullptr);
    EXPECT_EQ(mxCreateDoubleMatrix_800(std::numeric_limits<size_t>::max(), 2, mxREAL), nullptr);
}

TEST_F(Mx, StringsAreCharRowsAndNotNumeric) {
    mxArray* s = mxCreateString_800("Ab");
    EXPECT_EQ(mxGetClassID_800(s), mx_class::character);
    EXPECT_TRUE(mxIsChar_800(s));
    EXPECT_FALSE(mxIsNumeric_800(s));
    EXPECT_EQ(mxGetM_800(s), 1u);
    EXPECT_EQ(mxGetN_800(s), 2u);
    EXPECT_STREQ(subhost_mx_string(s), "Ab");
    EXPECT_EQ(mxGetScalar_800(s), 65.0);

    mxArray* e = mxCreateString_800("");
    EXPECT_EQ(mxGetNumberOfElements_800(e), 0u);
    EXPECT_STREQ(subhost_mx_string(e), "");
    EXPECT_EQ(subhost_mx_string(mxCreateDoubleScalar_800(1)), nullptr);
}

TEST_F(Mx, CallocIsZeroedAndRefusesOverflow) {
    auto* p = static_cast<unsigned char*>(mxCalloc_800(100, 4));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(p[i], 0u);
    EXPECT_EQ(mxCalloc_800(std::numeric_limits<size_t>::max() / 2, 4), nullptr);
    mxFree_800(mxCalloc_800(1, 8));
    mxFree_800(mxCalloc_800(0, 8));
}

TEST_F(Mx, StructFieldsNamesAndBounds) {
    char name0[] = "tNext";
    const char* names[] = {name0, "mdlrefDW"};
    mxArray* s = mxCreateStructMatrix_800(1, 2, 2, names);
    std::strcpy(name0, "XXXXX");  // the struct keeps its own copy
    EXPECT_TRUE(mxIsStruct_800(s));
    EXPECT_EQ(mxGetNumberOfFields_800(s), 2);
    EXPECT_STREQ(mxGetFieldNameByNumber_800(s, 0), "tNext");
    EXPECT_EQ(mxGetFieldNameByNumber_800(s, 2), nullptr);

    mxArray* v = mxCreateDoubleScalar_800(3);
    mxSetFieldByNumber_800(s, 1, 1, v);
    EXPECT_EQ(mxGetFieldByNumber_800(s, 1, 1), v);
    EXPECT_EQ(mxGetFieldByNumber_800(s, 0, 1), nullptr);  // empty field

    // Out of range: null on reading, ignored on writing.
    EXPECT_EQ(mxGetFieldByNumber_800(s, 2, 0), nullptr);
    EXPECT_EQ(mxGetFieldByNumber_800(s, 0, 2), nullptr);
    EXPECT_EQ(mxGetFieldByNumber_800(s, 0, -1), nullptr);
    mxArray* stray = mxCreateDoubleScalar_800(4);
    mxSetFieldByNumber_800(s, 2, 0, stray);
    mxSetFieldByNumber_800(s, 0, 5, stray);
    EXPECT_EQ(mxGetScalar_800(stray), 4.0);  // still alive, still the scope's
    EXPECT_EQ(mxGetFieldByNumber_800(v, 0, 0), nullptr);  // not a struct
}

TEST_F(Mx, ReplacingAFieldDestroysTheOldValue) {
    const char* names[] = {"a"};
    mxArray* s = mxCreateStructMatrix_800(1, 1, 1, names);
    mxArray* first = mxCreateDoubleScalar_800(1);
    mxSetFieldByNumber_800(s, 0, 0, first);
    const size_t before = live();
    mxSetFieldByNumber_800(s, 0, 0, first);  // the same pointer: nothing happens
    EXPECT_EQ(live(), before);
    EXPECT_EQ(mxGetScalar_800(mxGetFieldByNumber_800(s, 0, 0)), 1.0);
    mxSetFieldByNumber_800(s, 0, 0, mxCreateDoubleScalar_800(2));
    EXPECT_EQ(live(), before);  // one made, the old one gone
    EXPECT_EQ(mxGetScalar_800(mxGetFieldByNumber_800(s, 0, 0)), 2.0);
    mxSetFieldByNumber_800(s, 0, 0, nullptr);
    EXPECT_EQ(live(), before - 1);
}

TEST_F(Mx, CellsHoldArrays) {
    mxArray* c = mxCreateCellMatrix_800(1, 2);
    EXPECT_TRUE(mxIsCell_800(c));
    EXPECT_EQ(mxGetNumberOfFields_800(c), 0);
    mxArray* v = mxCreateString_800("x");
    mxSetCell_800(c, 1, v);
    EXPECT_EQ(mxGetCell_800(c, 1), v);
    EXPECT_EQ(mxGetCell_800(c, 0), nullptr);
    EXPECT_EQ(mxGetCell_800(c, 2), nullptr);
    mxSetCell_800(c, 2, mxCreateDoubleScalar_800(1));  // ignored; the scope keeps it
}

TEST_F(Mx, ScopeFreesWholeTreesAndBlocks) {
    const size_t arrays = live();
    const size_t blocks = subhost_mx_liveBlocks();
    subhost_mx_beginScope();
    const char* names[] = {"rtb", "rtdw"};
    mxArray* outer = mxCreateStructMatrix_800(1, 1, 2, names);
    mxArray* inner = mxCreateStructMatrix_800(1, 1, 2, names);
    mxSetFieldByNumber_800(inner, 0, 0, mxCreateUninitNumericMatrix_800(1, 28, mx_class::uint8, mxREAL));
    mxSetFieldByNumber_800(outer, 0, 1, inner);
    mxCalloc_800(4, 4);
    EXPECT_EQ(live(), arrays + 3);
    EXPECT_EQ(subhost_mx_liveBlocks(), blocks + 1);
    subhost_mx_endScope();
    EXPECT_EQ(live(), arrays);
    EXPECT_EQ(subhost_mx_liveBlocks(), blocks);
}

TEST_F(Mx, ReleasedArraysAndBlocksOutliveTheirScope) {
    subhost_mx_beginScope();
    mxArray* kept = mxCreateDoubleScalar_800(9);
    void* block = mxCalloc_800(1, 16);
    subhost_mx_release(kept);
    subhost_mx_release(block);
    subhost_mx_endScope();
    EXPECT_EQ(mxGetScalar_800(kept), 9.0);
    static_cast<char*>(block)[15] = 1;
    mxDestroyArray_800(kept);
    mxFree_800(block);
}

// Scopes belong to the thread that opens them: what another thread makes
// meanwhile goes into that thread's scopes, and a thread that ends with a
// scope open has it closed.  A scope reused after holding arrays starts
// empty again.
TEST_F(Mx, ScopesAreThreadsOwn) {
    const size_t arrays = live();
    subhost_mx_beginScope();
    mxArray* mine = mxCreateDoubleScalar_800(1);
    std::thread other([&] {
        subhost_mx_beginScope();
        (void)mxCreateDoubleScalar_800(2);
        subhost_mx_beginScope();
        (void)mxCalloc_800(1, 8);
        (void)mxCreateDoubleScalar_800(3);
        subhost_mx_endScope();
        EXPECT_EQ(live(), arrays + 2);
    });  // ends with its first scope open
    other.join();
    EXPECT_EQ(live(), arrays + 1);
    EXPECT_EQ(mxGetScalar_800(mine), 1.0);
    subhost_mx_endScope();
    EXPECT_EQ(live(), arrays);
    subhost_mx_beginScope();
    subhost_mx_endScope();
    EXPECT_EQ(live(), arrays);
}

TEST_F(Mx, MovingAndDestroyingChildrenKeepsParentsConsistent) {
    const char* names[] = {"a"};
    mxArray* s1 = mxCreateStructMatrix_800(1, 1, 1, names);
    mxArray* s2 = mxCreateStructMatrix_800(1, 1, 1, names);
    mxArray* v = mxCreateDoubleScalar_800(5);
    mxSetFieldByNumber_800(s1, 0, 0, v);
    mxSetFieldByNumber_800(s2, 0, 0, v);  // moves: s1 lets go of it
    EXPECT_EQ(mxGetFieldByNumber_800(s1, 0, 0), nullptr);
    EXPECT_EQ(mxGetFieldByNumber_800(s2, 0, 0), v);

    mxDestroyArray_800(v);  // a destroyed child leaves its field empty
    EXPECT_EQ(mxGetFieldByNumber_800(s2, 0, 0), nullptr);

    mxSetFieldByNumber_800(s2, 0, 0, s1);
    mxSetFieldByNumber_800(s1, 0, 0, s2);  // would make a cycle: refused
    EXPECT_EQ(mxGetFieldByNumber_800(s1, 0, 0), nullptr);
    mxSetFieldByNumber_800(s1, 0, 0, s1);
    EXPECT_EQ(mxGetFieldByNumber_800(s1, 0, 0), nullptr);

    // Pointers that are not live arrays or blocks are ignored.
    mxArray* gone = mxCreateDoubleScalar_800(1);
    mxDestroyArray_800(gone);
    mxDestroyArray_800(gone);
    int local = 0;
    mxFree_800(&local);
    mxDestroyArray_800(nullptr);
}

TEST_F(Mx, DuplicateIsDeepAndIndependent) {
    const char* names[] = {"x"};
    mxArray* s = mxCreateStructMatrix_800(1, 1, 1, names);
    mxArray* c = mxCreateCellMatrix_800(1, 1);
    mxSetCell_800(c, 0, mxCreateDoubleScalar_800(1));
    mxSetFieldByNumber_800(s, 0, 0, c);
    mxArray* d = mxDuplicateArray_800(s);
    mxArray* dc = mxGetFieldByNumber_800(d, 0, 0);
    ASSERT_NE(dc, nullptr);
    EXPECT_NE(dc, c);
    *mxGetPr_800(mxGetCell_800(c, 0)) = 2;
    EXPECT_EQ(mxGetScalar_800(mxGetCell_800(dc, 0)), 1.0);
    EXPECT_STREQ(mxGetFieldNameByNumber_800(d, 0), "x");
}

}  // namespace
