// Model-reference interface of Quarlin: the simulation-state snapshot, the
// model-information table and the state checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_imports.h"
#include "host/simstruc.h"
#include "model/Quarlin.h"

// Snapshot of one instance.
mxArray* mr_Quarlin_GetDWork(const Quarlin_MdlrefDW* container);
void mr_Quarlin_SetDWork(Quarlin_MdlrefDW* container, const mxArray* instanceSnapshot);
mxArray* mr_Quarlin_GetSimStateDisallowedBlocks();

// Fields of the state struct: seven float states, then the three run flags.
inline constexpr int32_t kQuarlinStateFieldCount = 10;

// Shape checks of snapshot trees, made before anything is restored.
bool mr_Quarlin_isStruct1x1(const mxArray* array);
// A real uint8 array holding at least `byteCount` elements.
bool mr_Quarlin_isByteArrayOfAtLeast(const mxArray* array, size_t byteCount);
// Null when `instanceSnapshot` holds everything mr_Quarlin_SetDWork reads;
// otherwise a text naming what is wrong with it.
const char* mr_Quarlin_CheckDWork(const mxArray* instanceSnapshot);

// The copy family between model memory and fields of struct arrays.
void mr_Quarlin_cacheDataAsMxArray(mxArray* destination, size_t element, int32_t field,
                                   const void* source, size_t byteCount);
void mr_Quarlin_restoreDataFromMxArray(void* destination, const mxArray* source, size_t element,
                                       int32_t field, size_t byteCount);
void mr_Quarlin_cacheBitFieldToMxArray(mxArray* destination, size_t element, int32_t field,
                                       uint32_t value);
uint32_t mr_Quarlin_extractBitFieldFromMxArray(const mxArray* source, size_t element,
                                               int32_t field, uint32_t bitWidth);
void mr_Quarlin_cacheDataToMxArrayWithOffset(mxArray* destination, size_t element, int32_t field,
                                             size_t index, const void* source, size_t byteCount);
void mr_Quarlin_restoreDataFromMxArrayWithOffset(void* destination, const mxArray* source,
                                                 size_t element, int32_t field, size_t index,
                                                 size_t byteCount);
void mr_Quarlin_cacheBitFieldToCellArrayWithOffset(mxArray* destination, size_t element,
                                                   int32_t field, size_t index, uint32_t value);
uint32_t mr_Quarlin_extractBitFieldFromCellArrayWithOffset(const mxArray* source, size_t element,
                                                           int32_t field, size_t index,
                                                           uint32_t bitWidth);

// Model-information table and state checksum.
struct Quarlin_MdlInfoEntry {
    const char* identifier;
    int32_t kind;       // 13 source file, 16, 17 generated identifier, 20 interface function
    int32_t zero12;
    int32_t offset16;   // -1, 0 for the model's own name
    int32_t zero20;
    const char* owner;  // "Quarlin", or null
};
static_assert(sizeof(Quarlin_MdlInfoEntry) == 32);
static_assert(offsetof(Quarlin_MdlInfoEntry, kind) == 8);
static_assert(offsetof(Quarlin_MdlInfoEntry, offset16) == 16);
static_assert(offsetof(Quarlin_MdlInfoEntry, owner) == 24);

struct Quarlin_MdlInfoRegistration {
    const char* modelName;
    const Quarlin_MdlInfoEntry* table;
    int32_t count;
};
static_assert(offsetof(Quarlin_MdlInfoRegistration, table) == 8);
static_assert(offsetof(Quarlin_MdlInfoRegistration, count) == 16);

inline constexpr int32_t kQuarlinMdlInfoCount = 42;
extern const Quarlin_MdlInfoEntry rtMdlInfo_Quarlin[kQuarlinMdlInfoCount];

void mr_Quarlin_MdlInfoRegFcn(SimStruct* S, const char* modelName, int32_t* success);
void mr_Quarlin_RegisterSimStateChecksum(SimStruct* S);
