// The instance half of the data map: the record the host reads, through the
// address it receives at set-up, to find and log the model's states.
// An exchanged layout: offsets and widths are the host's, pointers 8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct Quarlin_InstanceLogging {
    void** systemRan;        // the system-ran table
    int32_t* systemTid;      // the system task table
    int32_t* globalTid;      // globalTid[0] of the same instance
};
static_assert(sizeof(Quarlin_InstanceLogging) == 24);

struct Quarlin_DataMapInfo {
    uint8_t version;                    // 1
    uint8_t pad0[7];
    const void* staticMap;              // mmiStatic
    const char* path;
    const char* fullPath;
    void** addressTable;                // -> addresses
    Quarlin_DataMapInfo** childTable;
    int32_t numChildren;
    int32_t contStateStartIndex;
    Quarlin_InstanceLogging* logging;   // -> instanceLogging
    void** varDimsAddressTable;         // -> varDimsAddresses
    uint64_t reserved72;
    void** perStateSlotTable;           // -> perStateSlots
    Quarlin_InstanceLogging instanceLogging;
    void* addresses[7];
    void* varDimsAddresses[1];
    uint8_t reserved176[48];
    void* perStateSlots[7];
    void* systemRan[5];
    int32_t systemTid[5];
    int32_t zero340;
};
static_assert(sizeof(Quarlin_DataMapInfo) == 344);
static_assert(offsetof(Quarlin_DataMapInfo, staticMap) == 8);
static_assert(offsetof(Quarlin_DataMapInfo, path) == 16);
static_assert(offsetof(Quarlin_DataMapInfo, fullPath) == 24);
static_assert(offsetof(Quarlin_DataMapInfo, addressTable) == 32);
static_assert(offsetof(Quarlin_DataMapInfo, childTable) == 40);
static_assert(offsetof(Quarlin_DataMapInfo, numChildren) == 48);
static_assert(offsetof(Quarlin_DataMapInfo, contStateStartIndex) == 52);
static_assert(offsetof(Quarlin_DataMapInfo, logging) == 56);
static_assert(offsetof(Quarlin_DataMapInfo, varDimsAddressTable) == 64);
static_assert(offsetof(Quarlin_DataMapInfo, reserved72) == 72);
static_assert(offsetof(Quarlin_DataMapInfo, perStateSlotTable) == 80);
static_assert(offsetof(Quarlin_DataMapInfo, instanceLogging) == 88);
static_assert(offsetof(Quarlin_DataMapInfo, addresses) == 112);
static_assert(offsetof(Quarlin_DataMapInfo, varDimsAddresses) == 168);
static_assert(offsetof(Quarlin_DataMapInfo, reserved176) == 176);
static_assert(offsetof(Quarlin_DataMapInfo, perStateSlots) == 224);
static_assert(offsetof(Quarlin_DataMapInfo, systemRan) == 280);
static_assert(offsetof(Quarlin_DataMapInfo, systemTid) == 320);
static_assert(offsetof(Quarlin_DataMapInfo, zero340) == 340);
