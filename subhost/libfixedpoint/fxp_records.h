// What the model-reference core library asks of the fixed-point library when
// the host is done with a record.
#pragma once

#include "subhost/control.h"

extern "C" {

SUBHOST_FIXEDPOINT_API void subhost_fxp_forget(const SimStruct* S);

}  // extern "C"
