// What the bridge offers beyond the host libraries it stands in for.
//
// Plain C with no array types, so that code on either side of the bridge
// (built against the host's declarations or against Octave's) can use it.
#pragma once

#include <cstddef>

#define OCTAVE_BRIDGE_API __attribute__((visibility("default")))

extern "C" {

// Array scopes opened by the engine and not yet closed.  A call that Octave
// abandons (an interrupt, say) may leave some open; closing back to the depth
// taken before frees what they still own.
OCTAVE_BRIDGE_API size_t octave_bridge_scopeDepth(void);
OCTAVE_BRIDGE_API void octave_bridge_closeScopesTo(size_t depth);

}  // extern "C"
