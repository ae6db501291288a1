// The block side of the code-generator records: argument conventions of the
// value kinds, the checks made before anything reaches the host's writer
// functions, and the two composite writers.

#include "rtwwriter/ssWriteRTW.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "gateway/sfun_messages.h"
#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/host_services.h"
#include "host/simstruc.h"

namespace {

constexpr const DiagMessage& kPairValueType = diagMessage("SimStructInvalidRTWPairValueType");
constexpr const DiagMessage& kPairName = diagMessage("SimStructInvalidRTWPairName");
constexpr const DiagMessage& kPairDimension = diagMessage("SimStructInvalidRTWPairDimension");
constexpr const DiagMessage& kNullPair = diagMessage("SimStructNullRTWPair");
constexpr const DiagMessage& kParamValueType = diagMessage("SimStructInvalidRTWParamValueType");
constexpr const DiagMessage& kParamArgument = diagMessage("SimStructInvalidRTWParamArgument");
constexpr const DiagMessage& kParamSetting = diagMessage("SimStructInvalidRTWParamSetting");
constexpr const DiagMessage& kWorkVectorName = diagMessage("SimStructInvalidRTWWorkVectorName");
constexpr const DiagMessage& kWorkVectorNumArgs = diagMessage("SimStructInvalidRTWWorkVectorNumArgs");
constexpr const DiagMessage& kWorkVectorSizeMismatch = diagMessage("SimStructRTWWorkVectorSizeMismatch");

// Data-type word of a signed 32-bit number.
constexpr int32_t kInt32Word = 6;

// Pair kinds that carry text (1) and a single typed number (6).
constexpr int32_t kTextPair = 1;
constexpr int32_t kTypedNumberPair = 6;

bool emptyText(const char* text) { return text == nullptr || text[0] == '\0'; }
bool isMatrixKind(int32_t kind) { return kind == 5 || kind == 8 || kind == 10; }
bool isPartsKind(int32_t kind) { return kind == 9 || kind == 10; }
bool exactlyOneZero(int32_t rows, int32_t columns) { return (rows == 0) != (columns == 0); }

struct Shape {
    int32_t rows = 1;
    int32_t columns = 1;
    int32_t dataTypeWord = 0;
};

// The further arguments of a pair of `kind`; false for an invalid kind.
bool readPairArguments(int32_t kind, va_list args, Shape* shape) {
    switch (kind) {
        case 0:
        case 1:
            return true;
        case 2:
            shape->rows = va_arg(args, int32_t);
            return true;
        case 3:
        case 6:
            shape->dataTypeWord = va_arg(args, int32_t);
            return true;
        case 4:
        case 7:
        case 9:
            shape->dataTypeWord = va_arg(args, int32_t);
            shape->rows = va_arg(args, int32_t);
            return true;
        case 5:
        case 8:
        case 10:
            shape->dataTypeWord = va_arg(args, int32_t);
            shape->rows = va_arg(args, int32_t);
            shape->columns = va_arg(args, int32_t);
            return true;
        default:
            return false;
    }
}

// Whether the pointers a pair of `kind` needs are there.  The value of a
// parts kind is itself read for the parts, so it must be there too.
bool pairPointersPresent(int32_t kind, const void* value, int32_t dataTypeWord) {
    if (value == nullptr) return false;
    if (!isPartsKind(kind)) return true;
    const void* const* parts = static_cast<const void* const*>(value);
    if (parts[0] == nullptr) return false;
    return (dataTypeWord & kComplexDataTypeBit) == 0 || parts[1] != nullptr;
}

// The host must have set its writer functions; one that is missing writes
// nothing, which reads as a failed write.
int32_t writeText(SimStruct* S, const char* text) {
    const BlockInfo* info = S->blockInfo;
    if (info == nullptr || info->recordTextFcn == nullptr) return 0;
    return info->recordTextFcn(info->recordWriterArg, text);
}

int32_t writePair(SimStruct* S, int32_t kind, const char* name, const void* value, const Shape& shape) {
    if (emptyText(name)) {
        ssReportMessage(S, &kPairName);
        return 0;
    }
    if (shape.rows < 0 || shape.columns < 0 ||
        (isMatrixKind(kind) && exactlyOneZero(shape.rows, shape.columns))) {
        ssReportMessage(S, &kPairDimension);
        return 0;
    }
    if (shape.rows != 0 && !pairPointersPresent(kind, value, shape.dataTypeWord)) {
        ssReportMessage(S, &kNullPair);
        return 0;
    }
    const BlockInfo* info = S->blockInfo;
    if (info == nullptr || info->recordPairFcn == nullptr) return 0;
    return info->recordPairFcn(info->recordWriterArg, kind, name, value, shape.dataTypeWord, shape.rows,
                               shape.columns);
}

// One parameter: kind, name, text, then its further arguments.  Returns the
// writer's result, or 0 after a diagnostic.  The list goes by pointer so that
// the caller's list moves on past what was read.
int32_t writeParameter(SimStruct* S, va_list* args) {
    const int32_t kind = va_arg(*args, int32_t);
    const char* name = va_arg(*args, const char*);
    const char* text = va_arg(*args, const char*);
    const void* value = nullptr;
    const void* parts[2] = {nullptr, nullptr};
    Shape shape;
    switch (kind) {
        case 4:
        case 7:
            value = va_arg(*args, const void*);
            shape.rows = va_arg(*args, int32_t);
            shape.columns = shape.rows == 0 ? 0 : 1;
            if (kind == 7) shape.dataTypeWord = va_arg(*args, int32_t);
            break;
        case 5:
        case 8:
            value = va_arg(*args, const void*);
            shape.rows = va_arg(*args, int32_t);
            shape.columns = va_arg(*args, int32_t);
            if (kind == 8) shape.dataTypeWord = va_arg(*args, int32_t);
            break;
        case 9:
        case 10:
            parts[0] = va_arg(*args, const void*);
            parts[1] = va_arg(*args, const void*);
            value = parts;
            shape.rows = va_arg(*args, int32_t);
            shape.columns = kind == 10 ? va_arg(*args, int32_t) : (shape.rows == 0 ? 0 : 1);
            shape.dataTypeWord = va_arg(*args, int32_t);
            break;
        default:
            ssReportMessage(S, &kParamValueType);
            return 0;
    }
    if (emptyText(name) || (value == nullptr && shape.rows != 0) || shape.rows < 0 || shape.columns < 0 ||
        exactlyOneZero(shape.rows, shape.columns)) {
        ssReportMessage(S, &kParamArgument);
        return 0;
    }
    const BlockInfo* info = S->blockInfo;
    if (info == nullptr || info->recordParamFcn == nullptr) return 0;
    return info->recordParamFcn(info->recordWriterArg, kind, name, text, value, shape.dataTypeWord,
                                shape.rows, shape.columns);
}

// One setting: kind, name, then its further arguments, written as the pair
// it stands for.  The arguments are read straight into the pair's shape, in
// their order: value, count or rows and columns, and for kinds 6 to 10 the
// data-type word.  Returns the pair's result, or 0 after a diagnostic.
int32_t writeSetting(SimStruct* S, va_list* args) {
    const int32_t kind = va_arg(*args, int32_t);
    const char* name = va_arg(*args, const char*);
    if (kind < 0 || kind > 10) {
        ssReportMessage(S, &kParamSetting);
        return 0;
    }
    const void* value = nullptr;
    const void* parts[2] = {nullptr, nullptr};
    double number = 0.0;
    Shape shape;
    switch (kind) {
        case 3:
            number = va_arg(*args, double);
            value = &number;
            break;
        case 9:
        case 10:
            parts[0] = va_arg(*args, const void*);
            parts[1] = va_arg(*args, const void*);
            value = parts;
            break;
        default:
            value = va_arg(*args, const void*);
            break;
    }
    switch (kind) {
        case 2:
        case 4:
        case 7:
        case 9:
            shape.rows = va_arg(*args, int32_t);
            break;
        case 5:
        case 8:
        case 10:
            shape.rows = va_arg(*args, int32_t);
            shape.columns = va_arg(*args, int32_t);
            break;
        default:
            break;
    }
    if (kind >= 6) shape.dataTypeWord = va_arg(*args, int32_t);
    return writePair(S, kind, name, value, shape);
}

struct WorkVector {
    const char* name;
    int sizesIndex;
};

constexpr WorkVector kWorkVectors[] = {
    {"RWork", sizes_index::numRWork},
    {"IWork", sizes_index::numIWork},
    {"PWork", sizes_index::numPWork},
};

const WorkVector* findWorkVector(const char* name) {
    if (name == nullptr) return nullptr;
    for (const WorkVector& vector : kWorkVectors)
        if (strcmp(vector.name, name) == 0) return &vector;
    return nullptr;
}

// The defines of a work vector; `*widthSum` collects their widths.  Returns
// 1 when all were written, else the first result that was not 1.
int32_t writeDefines(SimStruct* S, const char* vectorName, int32_t numDefines, va_list args,
                     int64_t* widthSum) {
    char line[32];
    snprintf(line, sizeof line, "Num%sDefines", vectorName);
    int32_t result = ssWriteRTWNameValuePair(S, kTypedNumberPair, line, &numDefines, kInt32Word);
    if (result != 1) return result;
    snprintf(line, sizeof line, "%sDefine {", vectorName);
    for (int32_t i = 0; i < numDefines; ++i) {
        const char* defineName = va_arg(args, const char*);
        int32_t width = va_arg(args, int32_t);
        int32_t startIndex = static_cast<int32_t>(*widthSum);
        if ((result = ssWriteRTWStr(S, line)) != 1) return result;
        if ((result = ssWriteRTWNameValuePair(S, kTextPair, "Name", defineName)) != 1) return result;
        if ((result = ssWriteRTWNameValuePair(S, kTypedNumberPair, "Width", &width, kInt32Word)) != 1)
            return result;
        if ((result = ssWriteRTWNameValuePair(S, kTypedNumberPair, "StartIndex", &startIndex, kInt32Word)) != 1)
            return result;
        if ((result = ssWriteRTWStr(S, "}")) != 1) return result;
        *widthSum += width;
    }
    return 1;
}

}  // namespace

int32_t ssWriteRTWStr(SimStruct* S, const char* text) { return writeText(S, text); }

int32_t ssWriteRTWNameValuePair(SimStruct* S, int32_t kind, const char* name, const void* value, ...) {
    Shape shape;
    va_list args;
    va_start(args, value);
    const bool validKind = readPairArguments(kind, args, &shape);
    va_end(args);
    if (!validKind) {
        ssReportMessage(S, &kPairValueType);
        return 0;
    }
    return writePair(S, kind, name, value, shape);
}

int32_t ssWriteRTWMxVectParam(SimStruct* S, const char* name, const void* realParts,
                              const void* imagParts, int32_t dataTypeWord, int32_t count) {
    const void* parts[2] = {realParts, imagParts};
    return writePair(S, 9, name, parts, Shape{count, 1, dataTypeWord});
}

int32_t ssWriteRTWMx2dMatParam(SimStruct* S, const char* name, const void* realParts,
                               const void* imagParts, int32_t dataTypeWord, int32_t rows,
                               int32_t columns) {
    const void* parts[2] = {realParts, imagParts};
    return writePair(S, 10, name, parts, Shape{rows, columns, dataTypeWord});
}

int32_t ssWriteRTWParameters(SimStruct* S, int32_t count, ...) {
    int32_t result = 1;
    va_list args;
    va_start(args, count);
    for (int32_t i = 0; i < count; ++i) {
        result = writeParameter(S, &args);
        if (result == 0) break;
    }
    va_end(args);
    return result;
}

int32_t ssWriteRTWParamSettings(SimStruct* S, int32_t count, ...) {
    if (count <= 0) return 0;
    int32_t result = ssWriteRTWStr(S, "SFcnParamSettings {");
    if (result != 1) return result;
    va_list args;
    va_start(args, count);
    for (int32_t i = 0; i < count && result == 1; ++i) result = writeSetting(S, &args);
    va_end(args);
    if (result != 1) return result;
    return ssWriteRTWStr(S, "}");
}

int32_t ssWriteRTWWorkVect(SimStruct* S, const char* vectorName, int32_t numDefines, ...) {
    const WorkVector* vector = findWorkVector(vectorName);
    if (vector == nullptr) {
        ssReportMessage(S, &kWorkVectorName);
        return 0;
    }
    if (numDefines <= 0) {
        ssReportMessage(S, &kWorkVectorNumArgs);
        return 0;
    }
    const int32_t declared = S->sizes[vector->sizesIndex];
    int64_t widthSum = 0;
    va_list args;
    va_start(args, numDefines);
    const int32_t result = writeDefines(S, vector->name, numDefines, args, &widthSum);
    va_end(args);
    if (result != 1) return result;
    if (widthSum != declared) {
        ssReportMessage(S, &kWorkVectorSizeMismatch, vector->name, static_cast<int>(widthSum), vector->name,
                        static_cast<int>(declared));
        return 0;
    }
    return 1;
}

int32_t ssGetDTypeIdFromMxArray(const mxArray* array) {
    switch (mxGetClassID_800(array)) {
        case mx_class::logical: return 8;
        case mx_class::doubleClass: return 0;
        case mx_class::singleClass: return 1;
        case mx_class::int8: return 2;
        case mx_class::uint8: return 3;
        case mx_class::int16: return 4;
        case mx_class::uint16: return 5;
        case mx_class::int32: return 6;
        case mx_class::uint32: return 7;
        default: return kInvalidDataTypeId;
    }
}

int32_t _ssCreateSLCGStringBuffer(SimStruct* S) {
    int32_t bufferId = -1;
    ssCallHostService(S, host_service::createStringBuffer, 0, &bufferId);
    return bufferId;
}

void _ssAddToSLCGStringBuffer(SimStruct* S, int32_t bufferId, const char* text) {
    ssCallHostService(S, host_service::addToStringBuffer, bufferId, const_cast<char*>(text));
}
