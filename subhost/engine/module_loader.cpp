#include "module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace subhost::loader {

#if defined(_WIN32)

void* open(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) error = "cannot load " + path + ": error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

#else

void* open(const std::string& path, std::string& error) {
    // Local binding: a module's symbols must not interpose on the host's or
    // on another module's.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "cannot load " + path;
    }
    return library;
}

void* symbol(void* library, const char* name) { return dlsym(library, name); }

void close(void* library) { dlclose(library); }

#endif

}  // namespace subhost::loader
