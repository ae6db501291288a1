// Host arrays and host memory.
//
// Every array and every mxCalloc block is owned by exactly one of: the scope
// that was innermost when it was made, the struct or cell that holds it, or
// (after subhost_mx_release) the caller.  The library keeps a registry of
// everything alive, so that a pointer it did not make, or has already freed,
// is ignored instead of being freed twice.
#include "subhost/control.h"
#include "subhost/libmx/mx_object.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

struct Scope {
    std::unordered_set<mxArray*> arrays;
    std::unordered_set<void*> blocks;
    // Set when anything is put into the scope, cleared when the scope frees
    // what it owns: a scope that never held anything closes without taking
    // the library's lock.  Only the thread that opened the scope puts
    // anything into it.
    bool used = false;
};

}  // namespace

struct mxArray_tag {
    int32_t classId = mx_class::unknown;
    bool complex = false;
    size_t rows = 0;
    size_t columns = 0;
    size_t elementSize = 0;
    void* real = nullptr;  // numeric, logical and char data; null when empty
    void* imag = nullptr;
    std::vector<double> doubleView;  // elements as doubles, for mxGetPr of other classes
    std::string text;                // char arrays: the text as it was given
    std::string className;           // objects
    std::vector<std::string> fieldNames;
    std::vector<mxArray*> slots;     // struct and object fields (element-major), cells
    // Owner: a scope, or a parent array and the slot that holds this one.
    Scope* scope = nullptr;
    mxArray* parent = nullptr;
    size_t parentSlot = 0;
};

namespace {

struct State {
    std::mutex lock;
    Scope outermost;  // owns what is made outside every scope; closed at exit
    std::unordered_set<const mxArray*> arrays;
    std::unordered_map<const void*, Scope*> blocks;  // block -> owning scope, null when released
};

// Never destroyed: calls made by other libraries' exit code still find it,
// and what it holds stays reachable.
State& state() {
    static State* s = new State;
    return *s;
}

void freeScope(State& st, Scope& scope);

// The scopes a thread has opened: the first `open` are open, innermost
// last; the rest are closed and kept for reuse.  A host that opens a scope
// around every call of every step makes no allocation for it after the
// first, and takes no lock while the calls make nothing.  A thread that ends
// with scopes open closes them.
struct ThreadScopes {
    std::vector<std::unique_ptr<Scope>> scopes;
    size_t open = 0;

    ~ThreadScopes() {
        if (open == 0) return;
        State& st = state();
        std::lock_guard<std::mutex> hold(st.lock);
        while (open > 0) freeScope(st, *scopes[--open]);
    }
};

// Every call of every step opens and closes a scope: on ELF systems the
// thread's scopes sit in the static TLS block, reached without a call into
// the dynamic linker (a library loaded later with dlopen takes its 32 bytes
// from the block's reserve).
#if defined(__ELF__)
#define SUBHOST_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define SUBHOST_FAST_TLS
#endif

#if defined(_WIN32)

// With mingw-w64 a DLL's thread_local objects may be destroyed after the
// DLL's thread storage is gone.  The thread's scopes live in a TLS slot of
// the system instead, made on first use and freed when the thread leaves.
const DWORD scopesSlot = TlsAlloc();

ThreadScopes& threadScopes() {
    auto* scopes = static_cast<ThreadScopes*>(TlsGetValue(scopesSlot));
    if (scopes == nullptr) {
        scopes = new ThreadScopes;
        TlsSetValue(scopesSlot, scopes);
    }
    return *scopes;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_THREAD_DETACH) {
        delete static_cast<ThreadScopes*>(TlsGetValue(scopesSlot));
        TlsSetValue(scopesSlot, nullptr);
    }
    return TRUE;
}

namespace {

#else

ThreadScopes& threadScopes() {
    SUBHOST_FAST_TLS thread_local ThreadScopes scopes;
    return scopes;
}

#endif

Scope* innermost(State& st) {
    ThreadScopes& t = threadScopes();
    return t.open == 0 ? &st.outermost : t.scopes[t.open - 1].get();
}

bool isNumericClass(int32_t id) { return id >= mx_class::doubleClass && id <= mx_class::uint64; }

bool hasData(int32_t id) {
    return isNumericClass(id) || id == mx_class::logical || id == mx_class::character;
}

bool hasFields(int32_t id) { return id == mx_class::structure || id == mx_class::object; }

size_t elementSizeOf(int32_t id) {
    switch (id) {
        case mx_class::doubleClass: return 8;
        case mx_class::singleClass: return 4;
        case mx_class::int8: case mx_class::uint8: return 1;
        case mx_class::int16: case mx_class::uint16: return 2;
        case mx_class::int32: case mx_class::uint32: return 4;
        case mx_class::int64: case mx_class::uint64: return 8;
        case mx_class::logical: return 1;
        case mx_class::character: return 2;
        case mx_class::cell: case mx_class::structure: case mx_class::object: return sizeof(mxArray*);
        default: return 0;
    }
}

bool product(size_t a, size_t b, size_t& out) {
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a) return false;
    out = a * b;
    return true;
}

size_t elementCount(const mxArray* a) { return a->rows * a->columns; }

// Zero-filled data of n elements.  At least 8 bytes, so that a host reading one
// double from a scalar of a narrower class stays inside the allocation.
void* allocateData(size_t n, size_t elementSize) {
    size_t bytes = 0;
    if (!product(n, elementSize, bytes)) return nullptr;
    return std::calloc(bytes < 8 ? 8 : bytes, 1);
}

mxArray* adopt(State& st, mxArray* a) {
    a->scope = innermost(st);
    a->scope->arrays.insert(a);
    a->scope->used = true;
    st.arrays.insert(a);
    return a;
}

mxArray* makeDataArray(State& st, size_t rows, size_t columns, int32_t classId, bool complex) {
    size_t n = 0;
    if (!product(rows, columns, n)) return nullptr;
    auto a = std::make_unique<mxArray>();
    a->classId = classId;
    a->complex = complex;
    a->rows = rows;
    a->columns = columns;
    a->elementSize = elementSizeOf(classId);
    if (n > 0) {
        a->real = allocateData(n, a->elementSize);
        if (a->real == nullptr) return nullptr;
        if (complex) {
            a->imag = allocateData(n, a->elementSize);
            if (a->imag == nullptr) {
                std::free(a->real);
                return nullptr;
            }
        }
    }
    return adopt(st, a.release());
}

// Structs and objects hold `fieldCount` slots per element, cells one.
mxArray* makeSlotArray(State& st, size_t rows, size_t columns, int32_t classId,
                       int32_t fieldCount, const char** fieldNames) {
    size_t n = 0;
    size_t slots = 0;
    if (!product(rows, columns, n) || !product(n, static_cast<size_t>(fieldCount), slots)) return nullptr;
    auto a = std::make_unique<mxArray>();
    a->classId = classId;
    a->rows = rows;
    a->columns = columns;
    a->elementSize = elementSizeOf(classId);
    for (int32_t f = 0; classId != mx_class::cell && f < fieldCount; ++f) {
        const char* name = fieldNames != nullptr ? fieldNames[f] : nullptr;
        a->fieldNames.emplace_back(name != nullptr ? name : "");
    }
    a->slots.assign(slots, nullptr);
    return adopt(st, a.release());
}

void destroyTree(State& st, mxArray* a) {
    for (mxArray* child : a->slots) {
        if (child != nullptr) destroyTree(st, child);
    }
    st.arrays.erase(a);
    std::free(a->real);
    std::free(a->imag);
    delete a;
}

// Takes `a` away from whoever owns it; nobody owns it afterwards.
void detach(mxArray* a) {
    if (a->scope != nullptr) {
        a->scope->arrays.erase(a);
        a->scope = nullptr;
    }
    if (a->parent != nullptr) {
        a->parent->slots[a->parentSlot] = nullptr;
        a->parent = nullptr;
    }
}

bool isLive(State& st, const mxArray* a) { return a != nullptr && st.arrays.count(a) != 0; }

// Stores `value` into a slot of `holder`: the holder owns it from now on, and
// the value that was there before is destroyed.
void storeInSlot(State& st, mxArray* holder, size_t slot, mxArray* value) {
    mxArray* old = holder->slots[slot];
    if (old == value) return;
    if (value != nullptr) {
        if (!isLive(st, value)) return;
        // A holder cannot own itself or one of its ancestors.
        for (const mxArray* up = holder; up != nullptr; up = up->parent) {
            if (up == value) return;
        }
        detach(value);
    }
    if (old != nullptr) {
        detach(old);
        destroyTree(st, old);
    }
    holder->slots[slot] = value;
    if (value != nullptr) {
        value->parent = holder;
        value->parentSlot = slot;
    }
}

void freeScope(State& st, Scope& scope) {
    scope.used = false;
    // Clearing a set wipes its whole bucket array, which a reused scope
    // keeps at the largest size it ever reached.
    if (scope.arrays.empty() && scope.blocks.empty()) return;
    // Freeing a tree touches only the arrays in it, never the scope's set.
    for (mxArray* a : scope.arrays) {
        a->scope = nullptr;
        destroyTree(st, a);
    }
    scope.arrays.clear();
    for (void* block : scope.blocks) {
        st.blocks.erase(block);
        std::free(block);
    }
    scope.blocks.clear();
}

mxArray* duplicate(State& st, const mxArray* a) {
    auto copy = std::make_unique<mxArray>();
    copy->classId = a->classId;
    copy->complex = a->complex;
    copy->rows = a->rows;
    copy->columns = a->columns;
    copy->elementSize = a->elementSize;
    copy->text = a->text;
    copy->className = a->className;
    copy->fieldNames = a->fieldNames;
    const size_t bytes = elementCount(a) * a->elementSize;
    if (a->real != nullptr) {
        copy->real = allocateData(elementCount(a), a->elementSize);
        if (copy->real == nullptr) return nullptr;
        std::memcpy(copy->real, a->real, bytes);
    }
    if (a->imag != nullptr) {
        copy->imag = allocateData(elementCount(a), a->elementSize);
        if (copy->imag == nullptr) {
            std::free(copy->real);
            return nullptr;
        }
        std::memcpy(copy->imag, a->imag, bytes);
    }
    mxArray* result = adopt(st, copy.release());
    result->slots.assign(a->slots.size(), nullptr);
    for (size_t i = 0; i < a->slots.size(); ++i) {
        if (a->slots[i] == nullptr) continue;
        mxArray* child = duplicate(st, a->slots[i]);
        if (child != nullptr) storeInSlot(st, result, i, child);
    }
    return result;
}

double elementAsDouble(const mxArray* a, size_t i) {
    const void* d = a->real;
    switch (a->classId) {
        case mx_class::doubleClass: return static_cast<const double*>(d)[i];
        case mx_class::singleClass: return static_cast<const float*>(d)[i];
        case mx_class::int8: return static_cast<const int8_t*>(d)[i];
        case mx_class::uint8: return static_cast<const uint8_t*>(d)[i];
        case mx_class::int16: return static_cast<const int16_t*>(d)[i];
        case mx_class::uint16: return static_cast<const uint16_t*>(d)[i];
        case mx_class::int32: return static_cast<const int32_t*>(d)[i];
        case mx_class::uint32: return static_cast<const uint32_t*>(d)[i];
        case mx_class::int64: return static_cast<double>(static_cast<const int64_t*>(d)[i]);
        case mx_class::uint64: return static_cast<double>(static_cast<const uint64_t*>(d)[i]);
        case mx_class::logical: return static_cast<const uint8_t*>(d)[i] != 0 ? 1.0 : 0.0;
        case mx_class::character: return static_cast<const uint16_t*>(d)[i];
        default: return 0.0;
    }
}

// Exit code of the process frees what the scopes still own.
struct ExitCleanup {
    ~ExitCleanup() {
        State& st = state();
        std::lock_guard<std::mutex> hold(st.lock);
        freeScope(st, st.outermost);
    }
};
ExitCleanup exitCleanup;

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Memory.

void* mxCalloc_800(size_t count, size_t size) {
    size_t bytes = 0;
    if (!product(count, size, bytes)) return nullptr;
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block == nullptr) return nullptr;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    Scope* scope = innermost(st);
    scope->blocks.insert(block);
    scope->used = true;
    st.blocks[block] = scope;
    return block;
}

void mxFree_800(void* block) {
    if (block == nullptr) return;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    auto it = st.blocks.find(block);
    if (it == st.blocks.end()) return;
    if (it->second != nullptr) it->second->blocks.erase(block);
    st.blocks.erase(it);
    std::free(block);
}

// ---------------------------------------------------------------------------
// Scopes.

void subhost_mx_beginScope(void) {
    ThreadScopes& t = threadScopes();
    if (t.open == t.scopes.size()) t.scopes.push_back(std::make_unique<Scope>());
    ++t.open;
}

void subhost_mx_endScope(void) {
    ThreadScopes& t = threadScopes();
    if (t.open == 0) return;  // the outermost scope closes at exit
    Scope& scope = *t.scopes[--t.open];
    if (scope.used) {
        State& st = state();
        std::lock_guard<std::mutex> hold(st.lock);
        freeScope(st, scope);
    }
}

void subhost_mx_release(const void* arrayOrBlock) {
    if (arrayOrBlock == nullptr) return;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    const auto* a = static_cast<const mxArray*>(arrayOrBlock);
    if (isLive(st, a)) {
        detach(const_cast<mxArray*>(a));
        return;
    }
    auto it = st.blocks.find(arrayOrBlock);
    if (it != st.blocks.end() && it->second != nullptr) {
        it->second->blocks.erase(const_cast<void*>(arrayOrBlock));
        it->second = nullptr;
    }
}

size_t subhost_mx_liveArrays(void) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    return st.arrays.size();
}

size_t subhost_mx_liveBlocks(void) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    return st.blocks.size();
}

// ---------------------------------------------------------------------------
// Making and freeing arrays.

mxArray* mxCreateNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                   int32_t complexity) {
    const bool complex = complexity != mxREAL;
    if (!isNumericClass(classId) && classId != mx_class::logical) return nullptr;
    if (complex && classId == mx_class::logical) return nullptr;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    return makeDataArray(st, rows, columns, classId, complex);
}

mxArray* mxCreateUninitNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                         int32_t complexity) {
    // Zero-filled all the same: what a caller reads before writing is defined.
    return mxCreateNumericMatrix_800(rows, columns, classId, complexity);
}

mxArray* mxCreateDoubleMatrix_800(size_t rows, size_t columns, int32_t complexity) {
    return mxCreateNumericMatrix_800(rows, columns, mx_class::doubleClass, complexity);
}

mxArray* mxCreateDoubleScalar_800(double value) {
    mxArray* a = mxCreateNumericMatrix_800(1, 1, mx_class::doubleClass, mxREAL);
    if (a != nullptr) *static_cast<double*>(a->real) = value;
    return a;
}

mxArray* mxCreateString_800(const char* text) {
    const std::string s = text != nullptr ? text : "";
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    // The empty text is a 0x0 char array, as the host's own '' is.
    mxArray* a = makeDataArray(st, s.empty() ? 0 : 1, s.size(), mx_class::character, false);
    if (a == nullptr) return nullptr;
    a->text = s;
    auto* chars = static_cast<uint16_t*>(a->real);
    for (size_t i = 0; i < s.size(); ++i) chars[i] = static_cast<unsigned char>(s[i]);
    return a;
}

mxArray* mxCreateStructMatrix_800(size_t rows, size_t columns, int32_t fieldCount,
                                  const char** fieldNames) {
    if (fieldCount < 0 || (fieldCount > 0 && fieldNames == nullptr)) return nullptr;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    return makeSlotArray(st, rows, columns, mx_class::structure, fieldCount, fieldNames);
}

mxArray* subhost_mx_createObject(const char* className, int32_t fieldCount,
                                 const char** fieldNames) {
    if (fieldCount < 0 || (fieldCount > 0 && fieldNames == nullptr)) return nullptr;
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    mxArray* a = makeSlotArray(st, 1, 1, mx_class::object, fieldCount, fieldNames);
    if (a != nullptr) a->className = className != nullptr ? className : "";
    return a;
}

mxArray* mxCreateCellMatrix_800(size_t rows, size_t columns) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    return makeSlotArray(st, rows, columns, mx_class::cell, 1, nullptr);
}

mxArray* mxDuplicateArray_800(const mxArray* array) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    if (!isLive(st, array)) return nullptr;
    return duplicate(st, array);
}

void mxDestroyArray_800(mxArray* array) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    if (!isLive(st, array)) return;
    detach(array);
    destroyTree(st, array);
}

// ---------------------------------------------------------------------------
// Reading arrays.

void* mxGetData_800(const mxArray* array) { return array != nullptr ? array->real : nullptr; }

void* mxGetImagData_800(const mxArray* array) { return array != nullptr ? array->imag : nullptr; }

// The elements as doubles.  Arrays of other classes are read through a copy
// converted at each call, so the reader never runs past their data.
double* mxGetPr_800(const mxArray* array) {
    if (array == nullptr || array->real == nullptr) return nullptr;
    if (array->classId == mx_class::doubleClass) return static_cast<double*>(array->real);
    if (!hasData(array->classId)) return nullptr;
    auto* a = const_cast<mxArray*>(array);
    const size_t n = elementCount(a);
    a->doubleView.resize(n);
    for (size_t i = 0; i < n; ++i) a->doubleView[i] = elementAsDouble(a, i);
    return a->doubleView.data();
}

double mxGetScalar_800(const mxArray* array) {
    if (array == nullptr || array->real == nullptr || !hasData(array->classId)) return 0.0;
    return elementAsDouble(array, 0);
}

size_t mxGetM_800(const mxArray* array) { return array != nullptr ? array->rows : 0; }

size_t mxGetN_800(const mxArray* array) { return array != nullptr ? array->columns : 0; }

size_t mxGetNumberOfElements_800(const mxArray* array) {
    return array != nullptr ? elementCount(array) : 0;
}

size_t mxGetElementSize_800(const mxArray* array) {
    return array != nullptr ? array->elementSize : 0;
}

bool mxIsComplex_800(const mxArray* array) { return array != nullptr && array->complex; }

bool mxIsNumeric_800(const mxArray* array) {
    return array != nullptr && isNumericClass(array->classId);
}

bool mxIsStruct_800(const mxArray* array) {
    return array != nullptr && array->classId == mx_class::structure;
}

bool mxIsCell_800(const mxArray* array) {
    return array != nullptr && array->classId == mx_class::cell;
}

bool mxIsChar_800(const mxArray* array) {
    return array != nullptr && array->classId == mx_class::character;
}

int32_t mxGetClassID_800(const mxArray* array) {
    return array != nullptr ? array->classId : mx_class::unknown;
}

const char* subhost_mx_string(const mxArray* array) {
    if (array == nullptr || array->classId != mx_class::character) return nullptr;
    return array->text.c_str();
}

const char* subhost_mx_className(const mxArray* array) {
    if (array == nullptr || array->classId != mx_class::object) return nullptr;
    return array->className.c_str();
}

double mxGetInf_800(void) { return std::numeric_limits<double>::infinity(); }

// ---------------------------------------------------------------------------
// Fields and cells.

int32_t mxGetNumberOfFields_800(const mxArray* array) {
    if (array == nullptr || !hasFields(array->classId)) return 0;
    return static_cast<int32_t>(array->fieldNames.size());
}

const char* mxGetFieldNameByNumber_800(const mxArray* array, int32_t field) {
    if (array == nullptr || !hasFields(array->classId)) return nullptr;
    if (field < 0 || static_cast<size_t>(field) >= array->fieldNames.size()) return nullptr;
    return array->fieldNames[static_cast<size_t>(field)].c_str();
}

namespace {

bool fieldSlot(const mxArray* array, size_t index, int32_t field, size_t& slot) {
    if (array == nullptr || !hasFields(array->classId)) return false;
    const size_t fields = array->fieldNames.size();
    if (field < 0 || static_cast<size_t>(field) >= fields || index >= elementCount(array)) return false;
    slot = index * fields + static_cast<size_t>(field);
    return true;
}

bool cellSlot(const mxArray* array, size_t index, size_t& slot) {
    if (array == nullptr || array->classId != mx_class::cell || index >= array->slots.size()) return false;
    slot = index;
    return true;
}

}  // namespace

mxArray* mxGetFieldByNumber_800(const mxArray* array, size_t index, int32_t field) {
    size_t slot = 0;
    return fieldSlot(array, index, field, slot) ? array->slots[slot] : nullptr;
}

void mxSetFieldByNumber_800(mxArray* array, size_t index, int32_t field, mxArray* value) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    size_t slot = 0;
    if (!isLive(st, array) || !fieldSlot(array, index, field, slot)) return;
    storeInSlot(st, array, slot, value);
}

mxArray* mxGetCell_800(const mxArray* array, size_t index) {
    size_t slot = 0;
    return cellSlot(array, index, slot) ? array->slots[slot] : nullptr;
}

void mxSetCell_800(mxArray* array, size_t index, mxArray* value) {
    State& st = state();
    std::lock_guard<std::mutex> hold(st.lock);
    size_t slot = 0;
    if (!isLive(st, array) || !cellSlot(array, index, slot)) return;
    storeInSlot(st, array, slot, value);
}

}  // extern "C"
