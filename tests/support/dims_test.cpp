// Port dimensions as the host's port-dimension functions receive them, and
// current widths from the record.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gateway/sfun_support.h"
#include "support_fixture.h"

namespace {

using subhost::HostRecord;

TEST(DynamicDimension, IsUnknownEverywhere) {
    EXPECT_EQ(DYNAMIC_DIMENSION, &DYNAMIC_DIMENSION_DEF);
    EXPECT_EQ(DYNAMIC_DIMENSION_DEF.width, -1);
    EXPECT_EQ(DYNAMIC_DIMENSION_DEF.numDims, -1);
    EXPECT_EQ(DYNAMIC_DIMENSION_DEF.dims, nullptr);
    EXPECT_EQ(DYNAMIC_DIMENSION_DEF.reserved, nullptr);
}

struct MatrixCase {
    const char* name;
    int32_t rows;
    int32_t columns;
    bool reachesHost;
    int32_t width;  // handed to the host
};

const MatrixCase kMatrixCases[] = {
    {"three_by_four", 3, 4, true, 12},
    {"rows_unknown", -1, 4, true, -1},
    {"columns_unknown", 3, -1, true, -1},
    {"unknown_wins_over_current", -1, kWidthFromCurrentDims, true, -1},
    {"rows_from_current_dims", kWidthFromCurrentDims, 2, true, kWidthFromCurrentDims},
    {"columns_from_current_dims", 5, kWidthFromCurrentDims, true, kWidthFromCurrentDims},
    {"largest_that_fits", 46340, 46341, true, 2147441940},
    {"overflow", 65536, 65536, false, 0},
    {"zero_columns", 7, 0, true, 0},
    {"zero_rows", 0, 9, true, 0},
    {"both_zero", 0, 0, true, 0},
    {"two_negatives_overflow", -65536, -65536, false, 0},
};

TEST(MatrixDimensions, HandTheHostWidthAndBothDimensions) {
    for (const MatrixCase& row : kMatrixCases) {
        for (bool input : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (input ? " input" : " output"));
            HostRecord host;
            host.inputDimsAnswer = 5;
            host.outputDimsAnswer = 6;
            const int32_t result = input ? _ssSetInputPortMatrixDimensions(host.S(), 2, row.rows, row.columns)
                                         : _ssSetOutputPortMatrixDimensions(host.S(), 2, row.rows, row.columns);
            if (!row.reachesHost) {
                EXPECT_EQ(result, 0);
                EXPECT_TRUE(host.dimsCalls.empty());
                continue;
            }
            EXPECT_EQ(result, input ? 5 : 6);
            ASSERT_EQ(host.dimsCalls.size(), 1u);
            const subhost::PortDimsCall& call = host.dimsCalls[0];
            EXPECT_EQ(call.input, input);
            EXPECT_EQ(call.port, 2);
            EXPECT_EQ(call.width, row.width);
            EXPECT_EQ(call.numDims, 2);
            EXPECT_EQ(call.dims, (std::vector<int32_t>{row.rows, row.columns}));
            EXPECT_EQ(call.reserved, nullptr);
        }
    }
}

TEST(VectorDimension, IsOneDimensionThatIsTheWidth) {
    for (bool input : {true, false}) {
        HostRecord host;
        host.inputDimsAnswer = 0;
        host.outputDimsAnswer = 3;
        const int32_t result = input ? _ssSetInputPortVectorDimension(host.S(), 1, 5)
                                     : _ssSetOutputPortVectorDimension(host.S(), 1, 5);
        EXPECT_EQ(result, input ? 0 : 3);
        ASSERT_EQ(host.dimsCalls.size(), 1u);
        EXPECT_EQ(host.dimsCalls[0].input, input);
        EXPECT_EQ(host.dimsCalls[0].width, 5);
        EXPECT_EQ(host.dimsCalls[0].numDims, 1);
        EXPECT_EQ(host.dimsCalls[0].dims, (std::vector<int32_t>{5}));
        EXPECT_EQ(host.dimsCalls[0].reserved, nullptr);
    }
}

TEST(PortDimensions, WithoutHostFunctionsAreAccepted) {
    HostRecord host(support_test::noHost());
    EXPECT_EQ(_ssSetInputPortVectorDimension(host.S(), 0, 1), 1);
    EXPECT_EQ(_ssSetOutputPortVectorDimension(host.S(), 0, 1), 1);
    EXPECT_EQ(_ssSetInputPortMatrixDimensions(host.S(), 0, 3, 4), 1);
    EXPECT_EQ(_ssSetOutputPortMatrixDimensions(host.S(), 0, 3, 0), 1);
    EXPECT_EQ(_ssSetInputPortMatrixDimensions(host.S(), 0, 65536, 65536), 0);
}

// --- current widths ----------------------------------------------------------------

struct CurrentWidthCase {
    const char* name;
    int32_t width;
    int32_t numDims;
    int32_t dimsMode;
    std::vector<int32_t> currentDims;
    int32_t expected;
};

const CurrentWidthCase kCurrentWidthCases[] = {
    {"fixed_width", 4, 1, 0, {9}, 4},
    {"variable_mode", 4, 2, 1, {2, 3}, 6},
    {"width_from_current_dims", kWidthFromCurrentDims, 3, 0, {2, 3, 4}, 24},
    {"from_current_dims_no_dims", kWidthFromCurrentDims, 0, 2, {}, 1},
    {"mode_two_keeps_width", 8, 2, 2, {1, 1}, 8},
};

TEST(CurrentWidth, MultipliesCurrentDimensionsOnlyWhenTheyDecide) {
    for (const CurrentWidthCase& row : kCurrentWidthCases) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        support_test::givePorts(host, 2, 2);
        SimStruct* S = host.S();
        S->inputPorts[1] = {};
        S->inputPorts[1].width = row.width;
        S->inputPorts[1].numDims = row.numDims;
        S->inputPorts[1].dimsMode = row.dimsMode;
        S->outputPorts[1] = {};
        S->outputPorts[1].width = row.width;
        S->outputPorts[1].numDims = row.numDims;
        S->outputPorts[1].dimsMode = row.dimsMode;
        host.setCurrentInputDims(1, row.currentDims);
        host.setCurrentOutputDims(1, row.currentDims);
        EXPECT_EQ(_ssGetCurrentInputPortWidth(S, 1), row.expected);
        EXPECT_EQ(_ssGetCurrentOutputPortWidth(S, 1), row.expected);
    }
}

}  // namespace
