// Records for the host's code generator, written through the writer
// functions in the block record's own blockInfo.
//
// Variadic conventions (integers are int32_t, values are pointers, a
// setting's number of kind 3 is a double):
//   pair       kind, name, value, then by kind
//              0, 1: -            2: n          3, 6: word
//              4, 7, 9: word, n   5, 8, 10: word, rows, columns
//   parameter  kind, name, text, then by kind
//              4: value, n        5: value, rows, columns
//              7: value, n, word  8: value, rows, columns, word
//              9: re, im, n, word 10: re, im, rows, columns, word
//   setting    kind, name, then by kind
//              0, 1: value        2: value, n        3: d
//              4: value, n        5: value, rows, columns
//              6: value, word     7: value, n, word  8: value, rows, columns, word
//              9: re, im, n, word 10: re, im, rows, columns, word
//   work vector: per define a name and an int32_t width.
// The data-type word follows the value in a pair and comes last in a
// parameter or a setting.  For kinds 9 and 10 a pair's value points at two
// pointers: real parts, imaginary parts.
#pragma once

#include <cstdint>

#include "host/simstruc.h"

// Bit of the data-type word that marks a complex value.
inline constexpr int32_t kComplexDataTypeBit = 0x10000;
// The host's data type id for arrays of no built-in type.
inline constexpr int32_t kInvalidDataTypeId = -10;

int32_t ssWriteRTWStr(SimStruct* S, const char* text);
int32_t ssWriteRTWNameValuePair(SimStruct* S, int32_t kind, const char* name, const void* value, ...);
int32_t ssWriteRTWMxVectParam(SimStruct* S, const char* name, const void* realParts,
                              const void* imagParts, int32_t dataTypeWord, int32_t count);
int32_t ssWriteRTWMx2dMatParam(SimStruct* S, const char* name, const void* realParts,
                               const void* imagParts, int32_t dataTypeWord, int32_t rows,
                               int32_t columns);
int32_t ssWriteRTWParameters(SimStruct* S, int32_t count, ...);
int32_t ssWriteRTWParamSettings(SimStruct* S, int32_t count, ...);
int32_t ssWriteRTWWorkVect(SimStruct* S, const char* vectorName, int32_t numDefines, ...);
int32_t ssGetDTypeIdFromMxArray(const mxArray* array);

int32_t _ssCreateSLCGStringBuffer(SimStruct* S);
void _ssAddToSLCGStringBuffer(SimStruct* S, int32_t bufferId, const char* text);
