// Host arrays of any class, shape and content, made from fuzz input through
// the host's own array functions.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "host/host_imports.h"
#include "subhost/control.h"

namespace quarlin_fuzz {

// Arrays made inside live until the scope ends, as in one host call.
struct ArrayScope {
    ArrayScope() { subhost_mx_beginScope(); }
    ~ArrayScope() { subhost_mx_endScope(); }
    ArrayScope(const ArrayScope&) = delete;
    ArrayScope& operator=(const ArrayScope&) = delete;
};

// Sizes are small, with 0 and 1 often: the module reads shapes, not bulk.
// Inside structs and cells smaller still, so that a tree stays a few dozen
// arrays and a run tries many.
inline size_t smallSize(FuzzInput& in, int depth) {
    static constexpr size_t kSizes[] = {0, 1, 1, 1, 2, 3, 4, 8};
    static constexpr size_t kInnerSizes[] = {0, 1, 1, 2};
    return depth == 0 ? kSizes[in.choice(8)] : kInnerSizes[in.choice(4)];
}

inline mxArray* makeArray(FuzzInput& in, int depth = 0) {
    const size_t rows = smallSize(in, depth);
    const size_t columns = smallSize(in, depth);
    switch (in.choice(depth < 3 ? 6 : 4)) {
        case 0: {  // double, real or complex, values a host might pass
            mxArray* a = mxCreateDoubleMatrix_800(rows, columns, in.flip() ? mxCOMPLEX : mxREAL);
            double* re = mxGetPr_800(a);
            for (size_t i = 0; i < rows * columns; ++i) re[i] = interestingDouble(in);
            if (auto* im = static_cast<double*>(mxGetImagData_800(a))) {
                for (size_t i = 0; i < rows * columns; ++i) im[i] = interestingDouble(in);
            }
            return a;
        }
        case 1: {  // any other numeric class, or logical, with raw bytes
            const int32_t classId = static_cast<int32_t>(mx_class::logical + in.choice(13));
            if (classId == mx_class::character || classId == mx_class::voidClass) return mxCreateString_800("");
            mxArray* a = mxCreateNumericMatrix_800(rows, columns, classId, in.flip() ? mxCOMPLEX : mxREAL);
            if (a == nullptr) return nullptr;
            auto* bytes = static_cast<uint8_t*>(mxGetData_800(a));
            const size_t n = mxGetNumberOfElements_800(a) * mxGetElementSize_800(a);
            for (size_t i = 0; bytes != nullptr && i < n; ++i) bytes[i] = in.byte();
            return a;
        }
        case 2: return mxCreateString_800(in.text(64).c_str());
        case 3: return nullptr;
        case 4: {  // struct with fuzzed field names, fields filled deeper
            const int32_t fieldCount = static_cast<int32_t>(in.choice(5));
            std::vector<std::string> names;
            for (int32_t f = 0; f < fieldCount; ++f) names.push_back(in.text(16));
            std::vector<const char*> pointers;
            for (const auto& n : names) pointers.push_back(n.c_str());
            mxArray* s = mxCreateStructMatrix_800(rows, columns, fieldCount, pointers.data());
            if (s == nullptr) return nullptr;
            for (size_t i = 0; i < rows * columns; ++i) {
                for (int32_t f = 0; f < mxGetNumberOfFields_800(s); ++f) {
                    mxSetFieldByNumber_800(s, i, f, makeArray(in, depth + 1));
                }
            }
            return s;
        }
        default: {
            mxArray* c = mxCreateCellMatrix_800(rows, columns);
            for (size_t i = 0; i < rows * columns; ++i) mxSetCell_800(c, i, makeArray(in, depth + 1));
            return c;
        }
    }
}

}  // namespace quarlin_fuzz
