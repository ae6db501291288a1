// The host's array library on GNU Octave: every libmx function that the
// module and the engine import, forwarded to Octave's own MEX API.
//
// Octave's arrays are not the host's in three ways that matter here:
// - Octave frees every array and every mxCalloc block that a MEX call made
//   when that call returns.  The engine's scopes sit inside one such call;
//   a scope frees what it still owns when it closes, and outside any scope
//   Octave's own call scope is the owner.
// - Octave's readers raise an Octave error when asked for a field, a cell or
//   data of an array that has none; the host answers null.  The readers here
//   check the class first and answer null (or 0) as the module expects.
// - Octave's mxGetPr hands out the raw data whatever the class; the module
//   relies on doubles.  Arrays of other classes are read through a copy.
#include <mex.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bridge_control.h"

// The host's class ids are Octave's.
static_assert(mxCELL_CLASS == 1 && mxSTRUCT_CLASS == 2 && mxLOGICAL_CLASS == 3 && mxCHAR_CLASS == 4);
static_assert(mxDOUBLE_CLASS == 6 && mxSINGLE_CLASS == 7 && mxUINT8_CLASS == 9 && mxUINT64_CLASS == 15);
static_assert(mxREAL == 0 && mxCOMPLEX == 1);

namespace {

struct Scope {
    std::unordered_set<const void*> arrays;
    std::unordered_set<void*> blocks;
};

struct Scopes {
    // scopes[0 .. depth) are open; closed ones are kept for reuse, so that a
    // scope around every call of every step allocates nothing after the first.
    std::vector<Scope> scopes;
    size_t depth = 0;
    // Texts of char arrays handed out by octave_bridge_string.
    std::unordered_map<const mxArray*, std::string> texts;
};

Scopes& scopes() {
    static Scopes* s = new Scopes;  // never destroyed: Octave may still call in at exit
    return *s;
}

mxArray* owned(mxArray* array) {
    Scopes& s = scopes();
    if (array != nullptr && s.depth > 0) s.scopes[s.depth - 1].arrays.insert(array);
    return array;
}

void* ownedBlock(void* block) {
    Scopes& s = scopes();
    if (block != nullptr && s.depth > 0) s.scopes[s.depth - 1].blocks.insert(block);
    return block;
}

// Takes an array or block out of the scope that owns it, if any.
void disown(const void* item) {
    Scopes& s = scopes();
    for (size_t i = s.depth; i > 0; --i) {
        Scope& scope = s.scopes[i - 1];
        if (scope.arrays.erase(item) != 0) return;
        if (scope.blocks.erase(const_cast<void*>(item)) != 0) return;
    }
}

void closeInnermost() {
    Scopes& s = scopes();
    Scope& scope = s.scopes[s.depth - 1];
    for (const void* array : scope.arrays) mxDestroyArray(static_cast<mxArray*>(const_cast<void*>(array)));
    for (void* block : scope.blocks) mxFree(block);
    scope.arrays.clear();
    scope.blocks.clear();
    --s.depth;
    if (s.depth == 0) s.texts.clear();
}

bool hasData(const mxArray* a) {
    return a != nullptr && (mxIsNumeric(a) || mxIsLogical(a) || mxIsChar(a)) && !mxIsSparse(a);
}

bool isNumericClass(int32_t classId) {
    return classId >= mxDOUBLE_CLASS && classId <= mxUINT64_CLASS;
}

template <typename T>
void convert(const void* data, size_t n, double* out) {
    const T* in = static_cast<const T*>(data);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<double>(in[i]);
}

// The elements of a numeric, logical or char array as doubles, in a block
// of the current scope.
double* doubleView(const mxArray* a) {
    const size_t n = mxGetNumberOfElements(a);
    auto* view = static_cast<double*>(ownedBlock(mxCalloc(n == 0 ? 1 : n, sizeof(double))));
    const void* data = mxGetData(a);
    if (view == nullptr || data == nullptr) return view;
    switch (mxGetClassID(a)) {
        case mxSINGLE_CLASS: convert<float>(data, n, view); break;
        case mxINT8_CLASS: convert<int8_t>(data, n, view); break;
        case mxUINT8_CLASS: convert<uint8_t>(data, n, view); break;
        case mxINT16_CLASS: convert<int16_t>(data, n, view); break;
        case mxUINT16_CLASS: convert<uint16_t>(data, n, view); break;
        case mxINT32_CLASS: convert<int32_t>(data, n, view); break;
        case mxUINT32_CLASS: convert<uint32_t>(data, n, view); break;
        case mxINT64_CLASS: convert<int64_t>(data, n, view); break;
        case mxUINT64_CLASS: convert<uint64_t>(data, n, view); break;
        case mxLOGICAL_CLASS: convert<mxLogical>(data, n, view); break;
        case mxCHAR_CLASS: convert<unsigned char>(data, n, view); break;
        default: break;
    }
    return view;
}

bool isStructWith(const mxArray* a, size_t index, int32_t field) {
    return a != nullptr && mxIsStruct(a) && field >= 0 && field < mxGetNumberOfFields(a) &&
           index < mxGetNumberOfElements(a);
}

bool isCellWith(const mxArray* a, size_t index) {
    return a != nullptr && mxIsCell(a) && index < mxGetNumberOfElements(a);
}

}  // namespace

#define BRIDGE_API __attribute__((visibility("default")))

extern "C" {

// ---------------------------------------------------------------------------
// Memory and scopes.

BRIDGE_API void* mxCalloc_800(size_t count, size_t size) { return ownedBlock(mxCalloc(count, size)); }

BRIDGE_API void mxFree_800(void* block) {
    if (block == nullptr) return;
    disown(block);
    mxFree(block);
}

BRIDGE_API void subhost_mx_beginScope(void) {
    Scopes& s = scopes();
    if (s.depth == s.scopes.size()) s.scopes.emplace_back();
    ++s.depth;
}

BRIDGE_API void subhost_mx_endScope(void) {
    if (scopes().depth > 0) closeInnermost();
}

BRIDGE_API void subhost_mx_release(const void* arrayOrBlock) {
    if (arrayOrBlock != nullptr) disown(arrayOrBlock);
}

size_t octave_bridge_scopeDepth(void) { return scopes().depth; }

void octave_bridge_closeScopesTo(size_t depth) {
    while (scopes().depth > depth) closeInnermost();
}

// ---------------------------------------------------------------------------
// Making and freeing arrays.

BRIDGE_API mxArray* mxCreateDoubleMatrix_800(size_t rows, size_t columns, int32_t complexity) {
    return owned(mxCreateDoubleMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                                      complexity == mxREAL ? mxREAL : mxCOMPLEX));
}

BRIDGE_API mxArray* mxCreateDoubleScalar_800(double value) { return owned(mxCreateDoubleScalar(value)); }

BRIDGE_API mxArray* mxCreateNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                              int32_t complexity) {
    if (!isNumericClass(classId) && classId != mxLOGICAL_CLASS) return nullptr;
    return owned(mxCreateNumericMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                                       static_cast<mxClassID>(classId),
                                       complexity == mxREAL ? mxREAL : mxCOMPLEX));
}

BRIDGE_API mxArray* mxCreateUninitNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                                    int32_t complexity) {
    if (!isNumericClass(classId)) return nullptr;
    return owned(mxCreateUninitNumericMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                                             static_cast<mxClassID>(classId),
                                             complexity == mxREAL ? mxREAL : mxCOMPLEX));
}

BRIDGE_API mxArray* mxCreateString_800(const char* text) {
    return owned(mxCreateString(text != nullptr ? text : ""));
}

BRIDGE_API mxArray* mxCreateStructMatrix_800(size_t rows, size_t columns, int32_t fieldCount,
                                             const char** fieldNames) {
    if (fieldCount < 0 || (fieldCount > 0 && fieldNames == nullptr)) return nullptr;
    return owned(mxCreateStructMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                                      fieldCount, fieldNames));
}

BRIDGE_API mxArray* mxCreateCellMatrix_800(size_t rows, size_t columns) {
    return owned(mxCreateCellMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns)));
}

BRIDGE_API mxArray* mxDuplicateArray_800(const mxArray* array) {
    return array != nullptr ? owned(mxDuplicateArray(array)) : nullptr;
}

BRIDGE_API void mxDestroyArray_800(mxArray* array) {
    if (array == nullptr) return;
    disown(array);
    scopes().texts.erase(array);
    mxDestroyArray(array);
}

// ---------------------------------------------------------------------------
// Reading arrays.

BRIDGE_API void* mxGetData_800(const mxArray* array) { return hasData(array) ? mxGetData(array) : nullptr; }

BRIDGE_API void* mxGetImagData_800(const mxArray* array) {
    return hasData(array) && mxIsComplex(array) ? mxGetImagData(array) : nullptr;
}

BRIDGE_API double* mxGetPr_800(const mxArray* array) {
    if (!hasData(array)) return nullptr;
    if (mxIsDouble(array)) return mxGetPr(array);
    return doubleView(array);
}

BRIDGE_API double mxGetScalar_800(const mxArray* array) {
    if (!hasData(array) || mxGetNumberOfElements(array) == 0) return 0.0;
    return mxGetScalar(array);
}

BRIDGE_API size_t mxGetM_800(const mxArray* array) {
    return array != nullptr ? static_cast<size_t>(mxGetM(array)) : 0;
}

BRIDGE_API size_t mxGetN_800(const mxArray* array) {
    return array != nullptr ? static_cast<size_t>(mxGetN(array)) : 0;
}

BRIDGE_API size_t mxGetNumberOfElements_800(const mxArray* array) {
    return array != nullptr ? static_cast<size_t>(mxGetNumberOfElements(array)) : 0;
}

BRIDGE_API size_t mxGetElementSize_800(const mxArray* array) {
    return array != nullptr ? static_cast<size_t>(mxGetElementSize(array)) : 0;
}

BRIDGE_API bool mxIsComplex_800(const mxArray* array) { return array != nullptr && mxIsComplex(array); }

BRIDGE_API bool mxIsNumeric_800(const mxArray* array) { return array != nullptr && mxIsNumeric(array); }

BRIDGE_API bool mxIsStruct_800(const mxArray* array) { return array != nullptr && mxIsStruct(array); }

BRIDGE_API bool mxIsCell_800(const mxArray* array) { return array != nullptr && mxIsCell(array); }

BRIDGE_API bool mxIsChar_800(const mxArray* array) { return array != nullptr && mxIsChar(array); }

BRIDGE_API int32_t mxGetClassID_800(const mxArray* array) {
    return array != nullptr ? static_cast<int32_t>(mxGetClassID(array)) : mxUNKNOWN_CLASS;
}

BRIDGE_API double mxGetInf_800(void) { return mxGetInf(); }

// The text of a char array, valid until the array is destroyed or the
// outermost scope closes.  Null for every other array.
BRIDGE_API const char* subhost_mx_string(const mxArray* array) {
    if (array == nullptr || !mxIsChar(array)) return nullptr;
    char* text = mxArrayToString(array);
    std::string& kept = scopes().texts[array];
    kept = text != nullptr ? text : "";
    mxFree(text);
    return kept.c_str();
}

// ---------------------------------------------------------------------------
// Fields and cells.

BRIDGE_API int32_t mxGetNumberOfFields_800(const mxArray* array) {
    return array != nullptr && mxIsStruct(array) ? mxGetNumberOfFields(array) : 0;
}

BRIDGE_API const char* mxGetFieldNameByNumber_800(const mxArray* array, int32_t field) {
    if (array == nullptr || !mxIsStruct(array) || field < 0 || field >= mxGetNumberOfFields(array)) return nullptr;
    return mxGetFieldNameByNumber(array, field);
}

BRIDGE_API mxArray* mxGetFieldByNumber_800(const mxArray* array, size_t index, int32_t field) {
    if (!isStructWith(array, index, field)) return nullptr;
    return mxGetFieldByNumber(array, static_cast<mwIndex>(index), field);
}

BRIDGE_API void mxSetFieldByNumber_800(mxArray* array, size_t index, int32_t field, mxArray* value) {
    if (!isStructWith(array, index, field)) return;
    disown(value);  // the struct owns it now
    mxSetFieldByNumber(array, static_cast<mwIndex>(index), field, value);
}

BRIDGE_API mxArray* mxGetCell_800(const mxArray* array, size_t index) {
    if (!isCellWith(array, index)) return nullptr;
    return mxGetCell(array, static_cast<mwIndex>(index));
}

BRIDGE_API void mxSetCell_800(mxArray* array, size_t index, mxArray* value) {
    if (!isCellWith(array, index)) return;
    disown(value);
    mxSetCell(array, static_cast<mwIndex>(index), value);
}

}  // extern "C"
