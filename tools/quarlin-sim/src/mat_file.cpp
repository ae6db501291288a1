#include "mat_file.h"

#include <fcntl.h>
#include <matio.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "failure.h"
#include "files.h"

namespace quarlin_sim {

namespace {

// Snapshot files are a few kilobytes; anything far larger is not one, and
// refusing it keeps a damaged size field from making matio read gigabytes.
constexpr uint64_t kLargestFile = 16u << 20;

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

matio_types matDataType(int classId) {
    switch (classId) {
        case numeric_class::singleClass: return MAT_T_SINGLE;
        case numeric_class::int8Class: return MAT_T_INT8;
        case numeric_class::int16Class: return MAT_T_INT16;
        case numeric_class::uint16Class: return MAT_T_UINT16;
        case numeric_class::int32Class: return MAT_T_INT32;
        case numeric_class::uint32Class: return MAT_T_UINT32;
        case numeric_class::int64Class: return MAT_T_INT64;
        case numeric_class::uint64Class: return MAT_T_UINT64;
        default: return MAT_T_DOUBLE;
    }
}

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
        case Node::Kind::reals: {
            if (node.numericClass == numeric_class::doubleClass) {
                var = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                    const_cast<double*>(node.reals.data()), 0);
                break;
            }
            // The class numbers of the tree are those of the MAT format.
            const matio_classes classType = static_cast<matio_classes>(node.numericClass);
            const matio_types dataType = matDataType(node.numericClass);
            std::vector<char> data(node.reals.size() * numeric_class::unitSize(node.numericClass));
            numeric_class::encode(node.numericClass, node.reals, data.data());
            var = Mat_VarCreate(name, classType, dataType, 2, dims, data.data(), 0);
            break;
        }
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
            const auto* data = static_cast<const double*>(var->data);
            return Node::realMatrix(rows, columns, {data, data + count});
        }
        case MAT_C_SINGLE: case MAT_C_INT8: case MAT_C_INT16: case MAT_C_UINT16:
        case MAT_C_INT32: case MAT_C_UINT32: case MAT_C_INT64: case MAT_C_UINT64: {
            const int classId = static_cast<int>(var->class_type);
            if (var->data_type != matDataType(classId) ||
                (count != 0 && (var->data == nullptr || var->nbytes != count * numeric_class::unitSize(classId)))) {
                return refuse(std::string(numeric_class::name(classId)) + " data missing or of the wrong size");
            }
            std::vector<double> values;
            if (!numeric_class::decode(classId, var->data, count, values)) {
                return refuse("a 64-bit integer beyond 2^53");
            }
            return Node::numericMatrix(classId, rows, columns, std::move(values));
        }
        case MAT_C_UINT8: {
            if (count != 0 && (var->data == nullptr || var->nbytes != count)) {
                return refuse("uint8 data missing or of the wrong size");
            }
            const auto* data = static_cast<const uint8_t*>(var->data);
            return Node::byteMatrix(rows, columns, {data, data + count});
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

// A structural check of a level 5 file before matio reads it.  matio
// trusts the sizes a file declares, and a damaged dimension can make it
// allocate and fill gigabytes; here every array must hold exactly the data
// its dimensions call for, inside the element that contains it, so nothing
// read later can be larger than the file.
class Level5Check {
public:
    Level5Check(const std::string& content, const std::string& path)
        : content_(content), path_(path), swapped_(content.compare(126, 2, "IM") != 0) {}

    void run() {
        size_t offset = 128;
        while (offset < content_.size()) {
            const Element e = element(offset, content_.size());
            if (e.type == kCompressed) damaged("holds compressed variables, which snapshot files never do", offset);
            if (e.type != kMatrix) damaged("holds data that is not a variable", offset);
            matrix(e, 0);
            offset = e.next;
        }
    }

private:
    static constexpr uint32_t kMatrix = 14;
    static constexpr uint32_t kCompressed = 15;

    struct Element {
        uint32_t type;
        size_t data;  // offset of the data
        size_t size;  // bytes of data
        size_t next;  // offset after the element and its padding
    };

    [[noreturn]] void damaged(const std::string& why, size_t offset) const {
        fail(path_ + " is damaged: it " + why + " (at byte " + std::to_string(offset) + ")");
    }

    uint32_t word(size_t offset) const {
        uint32_t value;
        std::memcpy(&value, content_.data() + offset, sizeof value);
        return swapped_ ? __builtin_bswap32(value) : value;
    }

    // The element at `offset`, which must end by `end`.
    Element element(size_t offset, size_t end) const {
        if (end - offset < 8) damaged("ends inside a tag", offset);
        const uint32_t first = word(offset);
        // A small element keeps its size in the tag's upper half and up to
        // four bytes of data in the tag's second word.
        if ((first >> 16) != 0) {
            const uint32_t size = first >> 16;
            if (size > 4) damaged("has a malformed small element", offset);
            return {first & 0xFFFF, offset + 4, size, offset + 8};
        }
        const uint64_t size = word(offset + 4);
        const uint64_t padded = first == kCompressed ? size : (size + 7) / 8 * 8;
        // The last element of a file may leave out its padding.
        if (size > end - offset - 8 || (padded > end - offset - 8 && end != content_.size())) {
            damaged("has a variable that runs past its end", offset);
        }
        return {first, offset + 8, static_cast<size_t>(size),
                std::min(end, offset + 8 + static_cast<size_t>(padded))};
    }

    static size_t unitSize(uint32_t type) {
        switch (type) {
            case 1: case 2: case 16: return 1;       // int8, uint8, utf8
            case 3: case 4: case 17: return 2;       // int16, uint16, utf16
            case 5: case 6: case 7: case 18: return 4; // int32, uint32, single, utf32
            case 9: case 12: case 13: return 8;      // double, int64, uint64
            default: return 0;
        }
    }

    // The data of a numeric or text array: exactly `count` values.
    size_t values(size_t offset, size_t end, uint64_t count) const {
        const Element e = element(offset, end);
        const size_t unit = unitSize(e.type);
        if (unit == 0 || e.size % unit != 0 || e.size / unit != count) {
            damaged("has an array whose data does not match its size", offset);
        }
        return e.next;
    }

    void matrix(const Element& m, int depth) const {
        if (m.size == 0) return;  // an empty field
        if (depth > kDeepestTree) damaged("nests variables too deeply", m.data);
        const size_t end = m.data + m.size;
        const Element flags = element(m.data, end);
        if (flags.type != 6 || flags.size != 8) damaged("has a variable without array flags", m.data);
        const uint32_t flagWord = word(flags.data);
        const uint32_t arrayClass = flagWord & 0xFF;
        const bool complex = (flagWord & 0x0800) != 0;
        const Element dims = element(flags.next, end);
        if (dims.type != 5 || dims.size < 8 || dims.size % 4 != 0) damaged("has a variable without dimensions", flags.next);
        uint64_t count = 1;
        for (size_t d = 0; d < dims.size; d += 4) {
            const auto n = static_cast<int32_t>(word(dims.data + d));
            if (n < 0) damaged("has a negative dimension", dims.data + d);
            // No array can hold more values than the file has bytes.
            if (n != 0 && count > content_.size() / static_cast<uint64_t>(n)) count = content_.size() + 1;
            count *= static_cast<uint64_t>(n);
            if (count > content_.size()) damaged("has an array larger than the file", dims.data);
        }
        const Element name = element(dims.next, end);
        if (name.type != 1) damaged("has a variable without a name", dims.next);
        size_t offset = name.next;
        switch (arrayClass) {
            case 4:                                   // char
            case 6: case 7: case 8: case 9: case 10:  // double, single, int8, uint8, int16
            case 11: case 12: case 13: case 14: case 15:  // uint16 .. uint64
                offset = values(offset, end, count);
                if (complex) offset = values(offset, end, count);
                break;
            case 2: {  // struct
                const Element length = element(offset, end);
                if (length.type != 5 || length.size != 4) damaged("has a struct without field names", offset);
                const uint32_t nameLength = word(length.data);
                const Element names = element(length.next, end);
                if (names.type != 1 || nameLength == 0 || names.size % nameLength != 0) {
                    damaged("has a struct with malformed field names", length.next);
                }
                const uint64_t fields = names.size / nameLength * count;
                offset = names.next;
                for (uint64_t f = 0; f < fields; ++f) {
                    const Element field = element(offset, end);
                    if (field.type != kMatrix) damaged("has a struct field that is not a variable", offset);
                    matrix(field, depth + 1);
                    offset = field.next;
                }
                break;
            }
            case 1:  // cell
                for (uint64_t c = 0; c < count; ++c) {
                    const Element cell = element(offset, end);
                    if (cell.type != kMatrix) damaged("has a cell that is not a variable", offset);
                    matrix(cell, depth + 1);
                    offset = cell.next;
                }
                break;
            default: damaged("holds an array of a class snapshot files never hold", m.data);
        }
        if (offset != m.next && offset != end) damaged("has a variable with data beyond its content", offset);
    }

    const std::string& content_;
    const std::string& path_;
    bool swapped_;
};

}  // namespace

namespace {

// The variables of the given names from a file whose bytes are `content`:
// checked here first, then read by matio from `matioPath`, which holds the
// same bytes and which nobody else writes.
std::map<std::string, Node> readVariables(const std::string& content, const std::string& matioPath,
                                          const std::string& path, const std::vector<std::string>& names) {
    // Level 5 files carry their version 0x0100 at byte 124, in the writer's
    // byte order as the "IM" / "MI" mark after it tells.  Checking here keeps
    // other files (HDF5-based level 7.3 ones among them) away from libraries
    // that would print their own complaints.
    const bool level5 = content.size() >= 128 &&
                        ((content.compare(124, 4, "\x00\x01IM", 4) == 0) ||
                         (content.compare(124, 4, "\x01\x00MI", 4) == 0));
    if (!level5) fail(path + " is not a MAT file (level 5)");
    Level5Check(content, path).run();
    MatPtr mat(Mat_Open(matioPath.c_str(), MAT_ACC_RDONLY));
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

// Kinds, shapes, names and contents, reals by their bits.
bool sameTree(const Node& a, const Node& b) {
    if (a.kind != b.kind || a.rows != b.rows || a.columns != b.columns || a.names != b.names ||
        a.bytes != b.bytes || a.text != b.text || a.reals.size() != b.reals.size() ||
        a.fields.size() != b.fields.size())
        return false;
    if (!a.reals.empty() && std::memcmp(a.reals.data(), b.reals.data(), a.reals.size() * sizeof(double)) != 0)
        return false;
    for (size_t i = 0; i < a.fields.size(); ++i) {
        if (!sameTree(a.fields[i], b.fields[i])) return false;
    }
    return true;
}

// Why the system refuses to let the file grow: a full disk or a file-size
// limit.  matio drops the error of a failed write, so one more byte is
// written to ask.
std::string growthRefusal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    const char zero = 0;
    const bool refused = ::write(fd, &zero, 1) < 0;
    const int reason = errno;
    ::close(fd);
    return refused ? std::strerror(reason) : "what was written does not read back";
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
    // matio does not report writes that failed (a full disk, a file-size
    // limit): the file is read back whole before it may replace an earlier
    // one.
    bool whole = false;
    try {
        std::vector<std::string> names;
        for (const auto& variable : variables) names.push_back(variable.first);
        const auto back = readVariables(readWholeFile(file.tempPath(), kLargestFile), file.tempPath(), path, names);
        whole = back.size() == variables.size();
        for (const auto& [name, node] : variables) {
            const auto it = back.find(name);
            whole = whole && it != back.end() && sameTree(it->second, node);
        }
    } catch (const Failure&) {
        whole = false;
    }
    if (!whole) fail("cannot write " + path + ": " + growthRefusal(file.tempPath()));
    file.commit();
}

std::map<std::string, Node> readMatFile(const std::string& path, const std::vector<std::string>& names) {
    quietMatio();
    // Reads the content first: a missing or unreadable file gets the
    // system's reason, and an oversized one never reaches matio.
    const std::string content = readWholeFile(path, kLargestFile);
    // matio reads from a path: it gets a private copy of the bytes, so that a
    // file changed meanwhile cannot slip past the check.
    ScratchFile copy("quarlin-sim-snapshot");
    if (std::fwrite(content.data(), 1, content.size(), copy.stream()) != content.size() ||
        std::fflush(copy.stream()) != 0) {
        fail("cannot read " + path + ": no room for a temporary copy");
    }
    return readVariables(content, copy.path(), path, names);
}

}  // namespace quarlin_sim
