#include "data_map_view.h"

#include <cstring>

namespace subhost::data_map {
namespace {

template <typename T>
T field(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

}  // namespace

uint32_t stateCount(const void* dataMap) {
    return field<uint32_t>(field<const unsigned char*>(dataMap, kStaticMap), kNumStates);
}

bool readStates(const void* dataMap, float* out, size_t capacity) {
    const auto* staticMap = field<const unsigned char*>(dataMap, kStaticMap);
    const auto* addresses = field<void* const*>(dataMap, kAddressTable);
    const auto* rows = field<const unsigned char*>(staticMap, kStatesTable);
    const auto* dataTypes = field<const unsigned char*>(staticMap, kDataTypeTable);
    const uint32_t count = field<uint32_t>(staticMap, kNumStates);

    for (uint32_t r = 0; r < count && r < capacity; ++r) {
        const unsigned char* row = rows + size_t{r} * kStateRowSize;
        const uint16_t typeIndex = field<uint16_t>(row, kStateDataTypeIndex);
        const unsigned char* type = dataTypes + size_t{typeIndex} * kDataTypeRowSize;
        if (field<uint16_t>(type, kDataTypeSize) != sizeof(float) ||
            field<uint8_t>(type, kDataTypeHostId) != kSingleId)
            return false;
        out[r] = field<float>(addresses[field<uint32_t>(row, kStateAddressIndex)], 0);
    }
    return true;
}

StateRow stateRow(const void* dataMap, uint32_t row) {
    const auto* staticMap = field<const unsigned char*>(dataMap, kStaticMap);
    const auto* rows = field<const unsigned char*>(staticMap, kStatesTable);
    const auto* dataTypes = field<const unsigned char*>(staticMap, kDataTypeTable);
    const unsigned char* r = rows + size_t{row} * kStateRowSize;
    const auto text = [](const char* t) { return t != nullptr ? t : ""; };
    StateRow out{field<uint32_t>(r, kStateAddressIndex), text(field<const char*>(r, kStateBlockPath)),
                 text(field<const char*>(r, kStateName)), 0, 0};
    if (dataTypes != nullptr) {
        const unsigned char* type = dataTypes + size_t{field<uint16_t>(r, kStateDataTypeIndex)} * kDataTypeRowSize;
        out.byteSize = field<uint16_t>(type, kDataTypeSize);
        out.hostTypeId = field<uint8_t>(type, kDataTypeHostId);
    }
    return out;
}

void readRunFlags(const void* dataMap, int8_t* out, size_t count) {
    const auto* logging = field<const unsigned char*>(dataMap, kLoggingRecord);
    const auto* systemRan = field<void* const*>(logging, 0);
    for (size_t k = 0; k < count; ++k) out[k] = field<int8_t>(systemRan[kFirstRunFlag + k], 0);
}

}  // namespace subhost::data_map
