// Class objects of the host's array library: struct-like arrays of class
// `object` that carry a class name.  The extension library builds its message
// objects on them.
#pragma once

#include <cstdint>

#include "subhost/control.h"

extern "C" {

// A 1x1 object of `className` with the given fields, all empty.
SUBHOST_MX_API mxArray* subhost_mx_createObject(const char* className, int32_t fieldCount,
                                             const char** fieldNames);
// The class name of an object; null for every other array.
SUBHOST_MX_API const char* subhost_mx_className(const mxArray* array);

}  // extern "C"
