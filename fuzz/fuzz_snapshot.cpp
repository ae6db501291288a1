// Snapshot restore from any tree of host arrays: the block's own snapshot
// with edits (a node replaced, bytes changed, a field renamed, dropped or
// added), or a tree made from scratch, handed to flag 145 on a set-up
// instance.  And quarlin-sim's snapshot-file loader on any bytes, with what
// it accepts restored into a block.  Refusals are fine; undefined
// behaviour, a crash or a restore that breaks the next step is not.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "failure.h"
#include "fuzz_arrays.h"
#include "fuzz_support.h"
#include "host_block.h"
#include "snapshot_file.h"

namespace {

using namespace quarlin_fuzz;

// Every array of a tree, parents before children, with where it hangs.
struct Place {
    mxArray* array;
    mxArray* parent;  // null for the root
    size_t index;     // element of the parent
    int32_t field;    // field of a struct parent; -1 for a cell
};

void collect(mxArray* array, mxArray* parent, size_t index, int32_t field, std::vector<Place>& out) {
    out.push_back({array, parent, index, field});
    if (array == nullptr) return;
    const size_t n = mxGetNumberOfElements_800(array);
    if (mxIsStruct_800(array)) {
        for (size_t i = 0; i < n; ++i)
            for (int32_t f = 0; f < mxGetNumberOfFields_800(array); ++f)
                collect(mxGetFieldByNumber_800(array, i, f), array, i, f, out);
    } else if (mxIsCell_800(array)) {
        for (size_t i = 0; i < n; ++i) collect(mxGetCell_800(array, i), array, i, -1, out);
    }
}

void put(const Place& place, mxArray* value) {
    if (place.field >= 0) {
        mxSetFieldByNumber_800(place.parent, place.index, place.field, value);
    } else {
        mxSetCell_800(place.parent, place.index, value);
    }
}

// The struct `s` again with its field names changed by `rename`, which may
// drop a field (empty name list entry) or add one; the fields' values are
// copies.
mxArray* withNames(const mxArray* s, FuzzInput& in) {
    const int32_t count = mxGetNumberOfFields_800(s);
    std::vector<std::string> names;
    std::vector<int32_t> from;
    const int32_t touched = count > 0 ? static_cast<int32_t>(in.choice(static_cast<uint32_t>(count))) : 0;
    const uint32_t how = in.choice(4);
    for (int32_t f = 0; f < count; ++f) {
        if (f == touched && how == 0) continue;  // dropped
        names.push_back(f == touched && how == 1 ? in.text(70) : mxGetFieldNameByNumber_800(s, f));
        from.push_back(f);
    }
    if (how == 2) {  // one more field
        names.push_back(in.text(70));
        from.push_back(-1);
    }
    if (how == 3 && names.size() > 1) std::swap(names.front(), names.back()), std::swap(from.front(), from.back());
    std::vector<const char*> pointers;
    for (const auto& n : names) pointers.push_back(n.c_str());
    const size_t elements = mxGetNumberOfElements_800(s);
    mxArray* copy = mxCreateStructMatrix_800(mxGetM_800(s), mxGetN_800(s), static_cast<int32_t>(names.size()),
                                             pointers.data());
    if (copy == nullptr) return nullptr;
    for (size_t i = 0; i < elements; ++i) {
        for (size_t f = 0; f < from.size() && f < static_cast<size_t>(mxGetNumberOfFields_800(copy)); ++f) {
            const mxArray* value = from[f] >= 0 ? mxGetFieldByNumber_800(s, i, from[f]) : nullptr;
            mxSetFieldByNumber_800(copy, i, static_cast<int32_t>(f),
                                   value != nullptr ? mxDuplicateArray_800(value) : makeArray(in));
        }
    }
    return copy;
}

void edit(mxArray*& root, FuzzInput& in) {
    std::vector<Place> places;
    collect(root, nullptr, 0, -1, places);
    const Place place = places[in.choice(static_cast<uint32_t>(places.size()))];
    mxArray* replacement = nullptr;
    switch (in.choice(3)) {
        case 0: replacement = makeArray(in); break;
        case 1:
            if (place.array != nullptr && mxIsStruct_800(place.array)) {
                replacement = withNames(place.array, in);
                break;
            }
            [[fallthrough]];
        default:  // change bytes in place
            if (place.array != nullptr && !mxIsStruct_800(place.array) && !mxIsCell_800(place.array)) {
                auto* bytes = static_cast<uint8_t*>(mxGetData_800(place.array));
                const size_t n = mxGetNumberOfElements_800(place.array) * mxGetElementSize_800(place.array);
                if (bytes != nullptr && n > 0) bytes[in.raw<uint16_t>() % n] = in.byte();
            }
            return;
    }
    if (place.parent == nullptr) {
        root = replacement;
    } else {
        put(place, replacement);  // the parent frees what it held
    }
}

// The snapshot of a block that has run a few steps, kept for the process.
const mxArray* savedSnapshot() {
    static const mxArray* saved = [] {
        subhost::Block block(module());
        if (!block.bind().ok || !block.setUp().ok) std::abort();
        for (int k = 0; k < 50; ++k) {
            for (int port = 0; port < 4; ++port) block.setInput(port, 0.1f * static_cast<float>(port + k));
            if (!block.outputs().ok || !block.update().ok) std::abort();
        }
        subhost::ArrayPtr snapshot;
        if (!block.saveSimState(snapshot).ok || !snapshot) std::abort();
        return snapshot.release();
    }();
    return saved;
}

void restoreTree(FuzzInput& in) {
    ArrayScope scope;
    subhost::Block block(module());
    if (!block.bind().ok || !block.setUp().ok) std::abort();
    mxArray* tree = in.flip() ? mxDuplicateArray_800(savedSnapshot()) : makeArray(in);
    for (uint32_t edits = in.choice(4); edits > 0 && tree != nullptr; --edits) edit(tree, in);
    if (tree == nullptr) return;
    const subhost::CallResult restored = block.restoreSimState(tree);
    // Whether or not it was taken, the block steps and saves on.
    if (!block.outputs().ok || !block.update().ok) {
        if (restored.ok) __builtin_trap();
    }
    subhost::ArrayPtr again;
    (void)block.saveSimState(again);
}

// A private directory for the file, removed at exit.
struct FileDir {
    FileDir() {
        char pattern[] = "/tmp/quarlin-fuzz-snapshot.XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        path = dir + "/s.mat";
    }
    ~FileDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string dir;
    std::string path;
};

void loadFile(std::string_view bytes) {
    static const FileDir place;
    const std::string& path = place.path;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    try {
        const quarlin_sim::SnapshotFile loaded = quarlin_sim::readSnapshotFile(path);
        quarlin_sim::HostBlock host(module());
        host.restoreSnapshot(loaded.snapshot, path);
    } catch (const quarlin_sim::Failure&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    if (in.byte() % 2 == 0) {
        restoreTree(in);
    } else {
        loadFile(in.rest());
    }
    subhost_mex_clearRecords();
    return 0;
}
