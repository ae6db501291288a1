// The host's reading of a block's data map: the exchanged layout through
// which the host finds a model's states and run flags without calling it.
// Offsets are the layout's, in bytes; pointers 8 bytes, integers
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace subhost::data_map {

// Instance record.
inline constexpr size_t kStaticMap = 8;
inline constexpr size_t kAddressTable = 32;
inline constexpr size_t kLoggingRecord = 56;  // its first pointer is the system-ran table
// Static map.
inline constexpr size_t kStatesTable = 80;
inline constexpr size_t kNumStates = 88;
inline constexpr size_t kDataTypeTable = 96;
// One row of the states table.
inline constexpr size_t kStateRowSize = 56;
inline constexpr size_t kStateAddressIndex = 0;
inline constexpr size_t kStateBlockPath = 8;
inline constexpr size_t kStateName = 16;
inline constexpr size_t kStateDataTypeIndex = 34;
// One row of the data-type table.
inline constexpr size_t kDataTypeRowSize = 32;
inline constexpr size_t kDataTypeSize = 20;
inline constexpr size_t kDataTypeHostId = 22;
// The system-ran table: the host's base value, then the run flags.
inline constexpr size_t kFirstRunFlag = 1;

inline constexpr uint8_t kSingleId = 1;

// The number of states the map lists.
uint32_t stateCount(const void* dataMap);
// The states the map lists, in its row order, as single-precision values,
// into out[0 … capacity - 1]; false when a state of another type or size is
// among them.  Reads only; allocates nothing.
bool readStates(const void* dataMap, float* out, size_t capacity);
// Row `row` of the states table: its address index, block path, state name
// and data type.  Texts come back empty where the map holds none.
struct StateRow {
    uint32_t addressIndex;
    const char* blockPath;
    const char* name;
    uint16_t byteSize;
    uint8_t hostTypeId;
};
StateRow stateRow(const void* dataMap, uint32_t row);
// The run flags: entries kFirstRunFlag … kFirstRunFlag + count - 1 of the
// system-ran table, one signed byte each.
void readRunFlags(const void* dataMap, int8_t* out, size_t count);

}  // namespace subhost::data_map
