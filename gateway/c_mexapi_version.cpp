// The release and interface versions the module was built for.

#include <cstdint>

#include "gateway/Quarlin_gateway.h"

namespace {
constexpr uint32_t kReleaseStamp = 0x2021B;        // 131611
constexpr uint32_t kInterfaceVersion = 0x8000000;  // 134217728: the _800 array and extension functions
}  // namespace

void mexfilerequiredapiversion(uint32_t* releaseStamp, uint32_t* interfaceVersion) {
    *releaseStamp = kReleaseStamp;
    *interfaceVersion = kInterfaceVersion;
}
