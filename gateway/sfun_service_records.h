// Records that the service helpers pass to the host by pointer; the host
// reads them and writes the result field during the call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace service_record {

struct TextRegistration {
    const char* text;
    int32_t id;
};

struct PairRegistration {
    void* first;
    void* second;
    int32_t id;
};

struct ZcElement {
    int32_t signal;
    int32_t element;
    uint8_t flag;
};

struct PortElement {
    int32_t port;
    int32_t element;
    uint8_t result;
};

static_assert(offsetof(TextRegistration, id) == 8);
static_assert(offsetof(PairRegistration, id) == 16);
static_assert(offsetof(ZcElement, flag) == 8);
static_assert(offsetof(PortElement, result) == 8);

}  // namespace service_record
