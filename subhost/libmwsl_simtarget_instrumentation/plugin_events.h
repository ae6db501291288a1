// What the model-reference core library asks of the instrumentation library
// when the host is done with a record.
#pragma once

#include "subhost/control.h"

extern "C" {

SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API void subhost_slmr_forgetPluginEvents(const SimStruct* S);
SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API void subhost_slmr_forgetAllPluginEvents(void);

}  // extern "C"
