#include "mat_file.h"

#include <matio.h>

#include <cstring>
#include <memory>

#include "failure.h"
#include "files.h"

namespace quarlin_sim {

namespace {

// Snapshot files are a few kilobytes; anything far larger is not one, and
// refusing it keeps a damaged size field from making matio read gigabytes.
constexpr uint64_t kLargestFile = 16u << 20;
constexpr int kDeepestTree = 16;

// matio reports through a log function; its last message explains a failure
// better than a bare error code, and nothing should reach the terminal
// unasked.
std::string& lastMatioMessage() {
    static std::string message;
    return message;
}

void keepMatioMessage(int, char* message) { lastMatioMessage() = message != nullptr ? message : ""; }

void quietMatio() {
    static const bool installed = [] {
        Mat_LogInitFunc("quarlin-sim", keepMatioMessage);
        return true;
    }();
    (void)installed;
    lastMatioMessage().clear();
}

std::string matioReason() {
    const std::string& message = lastMatioMessage();
    return message.empty() ? std::string() : " (" + message + ")";
}

struct VarDeleter {
    void operator()(matvar_t* var) const { Mat_VarFree(var); }
};
using VarPtr = std::unique_ptr<matvar_t, VarDeleter>;

struct FileCloser {
    void operator()(mat_t* mat) const { Mat_Close(mat); }
};
using MatPtr = std::unique_ptr<mat_t, FileCloser>;

VarPtr toMatvar(const Node& node, const char* name) {
    size_t dims[2] = {node.rows, node.columns};
    matvar_t* var = nullptr;
    switch (node.kind) {
        case Node::Kind::empty:
            dims[0] = dims[1] = 0;
            var = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, 0);
            break;
        case Node::Kind::bytes:
            var = Mat_VarCreate(name, MAT_C_UINT8, MAT_T_UINT8, 2, dims,
                                const_cast<uint8_t*>(node.bytes.data()), 0);
            break;
        case Node::Kind::reals:
            var = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                const_cast<double*>(node.reals.data()), 0);
            break;
        case Node::Kind::text: {
            // Two bytes per character, as MATLAB itself stores text.
            std::vector<uint16_t> units(node.text.begin(), node.text.end());
            var = Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims, units.data(), 0);
            break;
        }
        case Node::Kind::structure: {
            std::vector<const char*> names;
            for (const auto& n : node.names) names.push_back(n.c_str());
            var = Mat_VarCreateStruct(name, 2, dims, names.data(), static_cast<unsigned>(names.size()));
            if (var == nullptr) break;
            VarPtr owner(var);
            for (size_t i = 0; i < node.fields.size(); ++i) {
                VarPtr field = toMatvar(node.fields[i], nullptr);
                if (Mat_VarSetStructFieldByIndex(var, i, 0, field.get()) != nullptr) {
                    fail("cannot build the MAT variable " + std::string(name != nullptr ? name : ""));
                }
                field.release();  // the struct owns it now
            }
            return owner;
        }
    }
    if (var == nullptr) fail("cannot build a MAT variable" + matioReason());
    return VarPtr(var);
}

Node fromMatvar(matvar_t* var, const std::string& path, int depth) {
    const auto refuse = [&](const std::string& why) -> Node { fail(path + ": " + why); };
    if (depth > kDeepestTree) return refuse("nested too deeply");
    if (var == nullptr) return Node{};
    if (var->rank != 2 || var->dims == nullptr) return refuse("not a two-dimensional array");
    if (var->isComplex) return refuse("a complex array");
    const size_t rows = var->dims[0];
    const size_t columns = var->dims[1];
    if (columns != 0 && rows > SIZE_MAX / columns) return refuse("impossibly large");
    const size_t count = rows * columns;

    Node node;
    node.rows = rows;
    node.columns = columns;
    switch (var->class_type) {
        case MAT_C_EMPTY: return Node{};
        case MAT_C_DOUBLE: {
            if (count == 0) return Node{};  // an empty field is written as []
            if (var->data == nullptr || var->data_type != MAT_T_DOUBLE ||
                var->nbytes != count * sizeof(double)) {
                return refuse("double data missing or of the wrong size");
            }
            node.kind = Node::Kind::reals;
            node.reals.resize(count);
            std::memcpy(node.reals.data(), var->data, var->nbytes);
            return node;
        }
        case MAT_C_UINT8: {
            if (count != 0 && (var->data == nullptr || var->nbytes != count)) {
                return refuse("uint8 data missing or of the wrong size");
            }
            node.kind = Node::Kind::bytes;
            node.bytes.resize(count);
            if (count != 0) std::memcpy(node.bytes.data(), var->data, count);
            return node;
        }
        case MAT_C_CHAR: {
            if (rows > 1) return refuse("text of more than one row");
            const size_t unit = var->data_type == MAT_T_UINT8 || var->data_type == MAT_T_UTF8 ? 1
                                : var->data_type == MAT_T_UINT16 || var->data_type == MAT_T_UTF16 ? 2
                                                                                                  : 0;
            if (unit == 0 || (count != 0 && (var->data == nullptr || var->nbytes != count * unit))) {
                return refuse("text data missing or of an unknown kind");
            }
            node.kind = Node::Kind::text;
            for (size_t i = 0; i < count; ++i) {
                uint16_t c = 0;
                std::memcpy(&c, static_cast<const char*>(var->data) + i * unit, unit);
                if (c == 0 || c > 0x7E) return refuse("text that is not plain ASCII");
                node.text += static_cast<char>(c);
            }
            return node;
        }
        case MAT_C_STRUCT: {
            if (rows != 1 || columns != 1) return refuse("a struct array, not a single struct");
            const unsigned n = Mat_VarGetNumberOfFields(var);
            char* const* names = Mat_VarGetStructFieldnames(var);
            if (n != 0 && names == nullptr) return refuse("struct without field names");
            node.kind = Node::Kind::structure;
            for (unsigned i = 0; i < n; ++i) {
                const std::string name = names[i] != nullptr ? names[i] : "";
                node.names.push_back(name);
                node.fields.push_back(
                    fromMatvar(Mat_VarGetStructFieldByIndex(var, i, 0), path + "." + name, depth + 1));
            }
            return node;
        }
        default: return refuse("an array of a class a snapshot does not hold");
    }
}

}  // namespace

void writeMatFile(const std::string& path, const std::vector<std::pair<std::string, Node>>& variables) {
    quietMatio();
    AtomicFile file(path);
    {
        MatPtr mat(Mat_CreateVer(file.tempPath().c_str(), nullptr, MAT_FT_MAT5));
        if (!mat) fail("cannot write " + path + matioReason());
        for (const auto& [name, node] : variables) {
            VarPtr var = toMatvar(node, name.c_str());
            if (Mat_VarWrite(mat.get(), var.get(), MAT_COMPRESSION_NONE) != 0) {
                fail("cannot write " + path + matioReason());
            }
        }
        if (Mat_Close(mat.release()) != 0) fail("cannot write " + path + matioReason());
    }
    file.commit();
}

std::map<std::string, Node> readMatFile(const std::string& path, const std::vector<std::string>& names) {
    quietMatio();
    // Reads the content first: a missing or unreadable file gets the
    // system's reason, and an oversized one never reaches matio.
    const std::string content = readWholeFile(path, kLargestFile);
    // Level 5 files carry their version 0x0100 at byte 124, in the writer's
    // byte order as the "IM" / "MI" mark after it tells.  Checking here keeps
    // other files (HDF5-based level 7.3 ones among them) away from libraries
    // that would print their own complaints.
    const bool level5 = content.size() >= 128 &&
                        ((content.compare(124, 4, "\x00\x01IM", 4) == 0) ||
                         (content.compare(124, 4, "\x01\x00MI", 4) == 0));
    if (!level5) fail(path + " is not a MAT file (level 5)");
    MatPtr mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
    if (!mat) fail(path + " is not a MAT file" + matioReason());
    std::map<std::string, Node> result;
    for (const auto& name : names) {
        VarPtr var(Mat_VarReadInfo(mat.get(), name.c_str()));
        if (!var) continue;
        var.reset(Mat_VarRead(mat.get(), name.c_str()));
        if (!var) fail(path + " is damaged: variable " + name + " cannot be read" + matioReason());
        result.emplace(name, fromMatvar(var.get(), path + ": " + name, 0));
    }
    return result;
}

}  // namespace quarlin_sim
