// The instance snapshot of Quarlin: the container's block signals, states
// and run flags as a tree of host arrays, and the copy routines between
// model memory and fields of struct arrays.

#include <cmath>
#include <cstring>

#include "mdlref/mr_Quarlin.h"

namespace {

const char* const ssDWFieldNames[3] = {"rtb", "rtdw", "NULL->rtzce"};

// Generated names of the state members, in the order of the state struct:
// emfAlpha, emfBeta, speed, angle, pllIntegrator, currentBeta, currentAlpha,
// noWrapRan, wrapLowRan, wrapHighRan.
const char* const rtdwDataFieldNames[kQuarlinStateFieldCount] = {
    "mdlrefDW->rtdw.p9g3awm3tv_prot", "mdlrefDW->rtdw.l78ujk329m_prot",
    "mdlrefDW->rtdw.owykp4ilsa_prot", "mdlrefDW->rtdw.vnj7c3c4bh_prot",
    "mdlrefDW->rtdw.xoqmaz4ftv_prot", "mdlrefDW->rtdw.y82hnlnh61_prot",
    "mdlrefDW->rtdw.ix7m0uel9u_prot", "mdlrefDW->rtdw.ui8hvqin2x_prot",
    "mdlrefDW->rtdw.d6d29o3vjm_prot", "mdlrefDW->rtdw.izmjciz73s_prot",
};

constexpr int32_t kRtbField = 0;
constexpr int32_t kRtdwField = 1;

// Where each field's bytes live in Quarlin_DW, and what a restore reports
// when the field cannot supply them.
struct StateMember {
    size_t offset;
    size_t size;
    const char* problem;
};

constexpr StateMember kStateMembers[kQuarlinStateFieldCount] = {
    {offsetof(Quarlin_DW, emfAlpha), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 0 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, emfBeta), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 1 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, speed), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 2 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, angle), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 3 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, pllIntegrator), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 4 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, currentBeta), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 5 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, currentAlpha), sizeof(float),
     "Invalid simulation state: mdlrefDW.rtdw field 6 is not a real uint8 array of at least 4 bytes"},
    {offsetof(Quarlin_DW, noWrapRan), sizeof(int8_t),
     "Invalid simulation state: mdlrefDW.rtdw field 7 is not a real uint8 array of at least 1 byte"},
    {offsetof(Quarlin_DW, wrapLowRan), sizeof(int8_t),
     "Invalid simulation state: mdlrefDW.rtdw field 8 is not a real uint8 array of at least 1 byte"},
    {offsetof(Quarlin_DW, wrapHighRan), sizeof(int8_t),
     "Invalid simulation state: mdlrefDW.rtdw field 9 is not a real uint8 array of at least 1 byte"},
};

char* bytesOf(void* base, size_t offset) { return static_cast<char*>(base) + offset; }
const char* bytesOf(const void* base, size_t offset) { return static_cast<const char*>(base) + offset; }

// The low 32 bits of the stored value truncated toward zero, for every
// finite double (fmod is exact, so values beyond 64 bits need no cast);
// NaN and the infinities read as 0.
uint32_t low32BitsOf(double value, uint32_t bitWidth) {
    if (!std::isfinite(value)) return 0;
    constexpr double kTwoTo32 = 4294967296.0;
    double low = std::fmod(std::trunc(value), kTwoTo32);
    if (low < 0.0) low += kTwoTo32;
    const uint32_t bits = static_cast<uint32_t>(low);
    if (bitWidth >= 32) return bits;
    return bits & ((uint32_t{1} << bitWidth) - 1u);
}

}  // namespace

bool mr_Quarlin_isStruct1x1(const mxArray* array) {
    return array != nullptr && mxGetClassID_800(array) == mx_class::structure &&
           mxGetM_800(array) == 1 && mxGetN_800(array) == 1;
}

bool mr_Quarlin_isByteArrayOfAtLeast(const mxArray* array, size_t byteCount) {
    if (array == nullptr || mxGetClassID_800(array) != mx_class::uint8 || mxIsComplex_800(array))
        return false;
    const size_t rows = mxGetM_800(array);
    const size_t columns = mxGetN_800(array);
    if (rows == 0 || columns == 0) return false;
    return rows >= byteCount || columns >= (byteCount + rows - 1) / rows;
}

const char* mr_Quarlin_CheckDWork(const mxArray* instanceSnapshot) {
    if (!mr_Quarlin_isStruct1x1(instanceSnapshot)) return "Invalid simulation state: mdlrefDW is not a 1x1 struct";
    if (!mr_Quarlin_isByteArrayOfAtLeast(mxGetFieldByNumber_800(instanceSnapshot, 0, kRtbField),
                                         sizeof(Quarlin_B)))
        return "Invalid simulation state: mdlrefDW.rtb is not a real uint8 array of at least 28 bytes";
    const mxArray* states = mxGetFieldByNumber_800(instanceSnapshot, 0, kRtdwField);
    if (!mr_Quarlin_isStruct1x1(states)) return "Invalid simulation state: mdlrefDW.rtdw is not a 1x1 struct";
    for (int32_t field = 0; field < kQuarlinStateFieldCount; ++field) {
        if (!mr_Quarlin_isByteArrayOfAtLeast(mxGetFieldByNumber_800(states, 0, field),
                                             kStateMembers[field].size))
            return kStateMembers[field].problem;
    }
    return nullptr;
}

mxArray* mr_Quarlin_GetDWork(const Quarlin_MdlrefDW* container) {
    mxArray* instance =
        mxCreateStructMatrix_800(1, 1, 3, const_cast<const char**>(ssDWFieldNames));
    mr_Quarlin_cacheDataAsMxArray(instance, 0, kRtbField, &container->rtb, sizeof(Quarlin_B));

    mxArray* states = mxCreateStructMatrix_800(1, 1, kQuarlinStateFieldCount,
                                               const_cast<const char**>(rtdwDataFieldNames));
    for (int32_t field = 0; field < kQuarlinStateFieldCount; ++field) {
        const StateMember& member = kStateMembers[field];
        mr_Quarlin_cacheDataAsMxArray(states, 0, field, bytesOf(&container->rtdw, member.offset),
                                      member.size);
    }
    mxSetFieldByNumber_800(instance, 0, kRtdwField, states);
    return instance;
}

void mr_Quarlin_SetDWork(Quarlin_MdlrefDW* container, const mxArray* instanceSnapshot) {
    // A tree that does not have the shape read below would be read past its
    // end; it is left alone and the instance keeps what it has.
    if (mr_Quarlin_CheckDWork(instanceSnapshot) != nullptr) return;

    mr_Quarlin_restoreDataFromMxArray(&container->rtb, instanceSnapshot, 0, kRtbField,
                                      sizeof(Quarlin_B));
    const mxArray* states = mxGetFieldByNumber_800(instanceSnapshot, 0, kRtdwField);
    for (int32_t field = 0; field < kQuarlinStateFieldCount; ++field) {
        const StateMember& member = kStateMembers[field];
        mr_Quarlin_restoreDataFromMxArray(bytesOf(&container->rtdw, member.offset), states, 0,
                                          field, member.size);
    }
}

mxArray* mr_Quarlin_GetSimStateDisallowedBlocks() { return nullptr; }

// ---------------------------------------------------------------------------
// The copy family.  The offset and cell variants write into an array that
// the caller has already made with room for every element.

void mr_Quarlin_cacheDataAsMxArray(mxArray* destination, size_t element, int32_t field,
                                   const void* source, size_t byteCount) {
    mxArray* bytes = mxCreateUninitNumericMatrix_800(1, byteCount, mx_class::uint8, mxREAL);
    std::memcpy(mxGetData_800(bytes), source, byteCount);
    mxSetFieldByNumber_800(destination, element, field, bytes);
}

void mr_Quarlin_restoreDataFromMxArray(void* destination, const mxArray* source, size_t element,
                                       int32_t field, size_t byteCount) {
    std::memcpy(destination, mxGetData_800(mxGetFieldByNumber_800(source, element, field)),
                byteCount);
}

void mr_Quarlin_cacheBitFieldToMxArray(mxArray* destination, size_t element, int32_t field,
                                       uint32_t value) {
    mxSetFieldByNumber_800(destination, element, field,
                           mxCreateDoubleScalar_800(static_cast<double>(value)));
}

uint32_t mr_Quarlin_extractBitFieldFromMxArray(const mxArray* source, size_t element,
                                               int32_t field, uint32_t bitWidth) {
    return low32BitsOf(mxGetScalar_800(mxGetFieldByNumber_800(source, element, field)), bitWidth);
}

void mr_Quarlin_cacheDataToMxArrayWithOffset(mxArray* destination, size_t element, int32_t field,
                                             size_t index, const void* source, size_t byteCount) {
    void* data = mxGetData_800(mxGetFieldByNumber_800(destination, element, field));
    std::memcpy(bytesOf(data, index * byteCount), source, byteCount);
}

void mr_Quarlin_restoreDataFromMxArrayWithOffset(void* destination, const mxArray* source,
                                                 size_t element, int32_t field, size_t index,
                                                 size_t byteCount) {
    const void* data = mxGetData_800(mxGetFieldByNumber_800(source, element, field));
    std::memcpy(destination, bytesOf(data, index * byteCount), byteCount);
}

void mr_Quarlin_cacheBitFieldToCellArrayWithOffset(mxArray* destination, size_t element,
                                                   int32_t field, size_t index, uint32_t value) {
    mxSetCell_800(mxGetFieldByNumber_800(destination, element, field), index,
                  mxCreateDoubleScalar_800(static_cast<double>(value)));
}

uint32_t mr_Quarlin_extractBitFieldFromCellArrayWithOffset(const mxArray* source, size_t element,
                                                           int32_t field, size_t index,
                                                           uint32_t bitWidth) {
    const mxArray* cell = mxGetCell_800(mxGetFieldByNumber_800(source, element, field), index);
    return low32BitsOf(mxGetScalar_800(cell), bitWidth);
}
