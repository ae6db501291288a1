// Hooks of the model-reference target: features this block does not use
// answer with fixed values, and diagnostic objects and block paths are made
// and reported by the host.

#include <cstdarg>
#include <cstdint>

#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/host_services.h"
#include "host/simstruc.h"

// Signal logging, signal streams and the I/O catalogue are not used here.
void* rt_GetMatSignalLoggingFileName() { return nullptr; }
void* rt_GetMatSigLogSelectorFileName() { return nullptr; }
void* rt_GetOSigstreamManager() { return nullptr; }
void* rt_slioCatalogue() { return nullptr; }
void* rtwGetPointerFromUniquePtr(void*) { return nullptr; }

// The block reads no files, so there is no file name to replace.
void rt_RAccelReplaceFromFilename(const char*, char*) {}
void rt_RAccelReplaceToFilename(const char*, char*) {}

// The simulation target's operating-point caches have nothing to keep.
void slsaCacheDWorkPointerForSimTargetOP(void*, void**) {}
void slsaCacheDWorkDataForSimTargetOP(void*, void*, int32_t) {}
void slsaSaveRawMemoryForSimTargetOP(void*, const char*, void**, int32_t) {}

void* CreateDiagnosticAsVoidPtr(const char* id, int32_t count, ...) {
    void* diagnostic = nullptr;
    va_list args;
    va_start(args, count);
    slmrCreateDiagnostic(id, count, args, &diagnostic);
    va_end(args);
    return diagnostic;
}

void* rt_CreateFullPathToTop(const char* top, const char* sub) {
    void* fullPath = nullptr;
    slmrCreateFullPathToTop(top, sub, &fullPath);
    return fullPath;
}

// A root that already holds a diagnostic object takes the new one through
// the host; otherwise the object becomes the block's own error status.
void rt_ssSet_slErrMsg(SimStruct* S, void* diagnostic) {
    if (ssRoot(S)->blockInfo->errorStatusIsDiagnostic != 0) {
        ssCallHostService(S, host_service::setErrorObject, 0, diagnostic);
        return;
    }
    S->localErrorStatusIsDiagnostic = 1;
    S->localErrorStatus = static_cast<const char*>(diagnostic);
}

void rt_ssReportDiagnosticAsWarning(SimStruct* S, void* diagnostic) {
    ssCallHostService(S, host_service::reportWarningObject, 0, diagnostic);
}

void rt_ssReportDiagnosticAsInfo(SimStruct* S, void* diagnostic) {
    ssCallHostService(S, host_service::reportInfoObject, 0, diagnostic);
}
