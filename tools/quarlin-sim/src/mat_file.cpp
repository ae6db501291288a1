// MAT files, level 5: the simulator's own reader and writer, for what a
// snapshot holds.  The same code runs on every platform, so a file saved on
// one restores on another and both write the very same bytes.
//
// A file is a 128-byte header and a sequence of elements.  An element is a
// tag (data type, byte count) and its data, padded to 8 bytes; a "small"
// element of at most 4 bytes keeps its count in the tag's upper half and its
// data in the tag's second word.  A variable is a matrix element holding
// further elements: array flags, dimensions, name, and then the class's own
// content (values; or field names and one matrix per field).
#include "mat_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "failure.h"
#include "files.h"

namespace quarlin_sim {

namespace {

// Snapshot files are a few kilobytes; anything far larger is not one, and
// refusing it keeps a damaged size field from costing memory or time.
constexpr uint64_t kLargestFile = 16u << 20;

constexpr size_t kHeaderSize = 128;
constexpr const char* kHeaderText = "MATLAB 5.0 MAT-file, written by quarlin-sim";

// Element data types.
namespace mi {
inline constexpr uint32_t int8 = 1;
inline constexpr uint32_t uint8 = 2;
inline constexpr uint32_t int16 = 3;
inline constexpr uint32_t uint16 = 4;
inline constexpr uint32_t int32 = 5;
inline constexpr uint32_t uint32 = 6;
inline constexpr uint32_t single = 7;
inline constexpr uint32_t doubleType = 9;
inline constexpr uint32_t int64 = 12;
inline constexpr uint32_t uint64 = 13;
inline constexpr uint32_t matrix = 14;
inline constexpr uint32_t compressed = 15;
inline constexpr uint32_t utf8 = 16;
inline constexpr uint32_t utf16 = 17;
inline constexpr uint32_t utf32 = 18;
}  // namespace mi

// Array classes, in the low byte of the array flags; the real numeric ones
// are the tree's own numeric_class numbers.
namespace mc {
inline constexpr uint32_t cell = 1;
inline constexpr uint32_t structure = 2;
inline constexpr uint32_t character = 4;
inline constexpr uint32_t doubleClass = numeric_class::doubleClass;
inline constexpr uint32_t uint8 = numeric_class::uint8Class;
inline constexpr uint32_t uint64 = numeric_class::uint64Class;
}  // namespace mc
constexpr uint32_t kComplexFlag = 0x0800;
// Every integer up to 2^53 in magnitude has its double.
constexpr int64_t kLargestExact = int64_t{1} << 53;

// The element type that holds values of a real numeric class as they are.
uint32_t elementTypeOf(int classId) {
    switch (classId) {
        case numeric_class::singleClass: return mi::single;
        case numeric_class::int8Class: return mi::int8;
        case numeric_class::uint8Class: return mi::uint8;
        case numeric_class::int16Class: return mi::int16;
        case numeric_class::uint16Class: return mi::uint16;
        case numeric_class::int32Class: return mi::int32;
        case numeric_class::uint32Class: return mi::uint32;
        case numeric_class::int64Class: return mi::int64;
        case numeric_class::uint64Class: return mi::uint64;
        default: return mi::doubleType;
    }
}

size_t unitSize(uint32_t type) {
    switch (type) {
        case mi::int8: case mi::uint8: case mi::utf8: return 1;
        case mi::int16: case mi::uint16: case mi::utf16: return 2;
        case mi::int32: case mi::uint32: case mi::single: case mi::utf32: return 4;
        case mi::doubleType: case mi::int64: case mi::uint64: return 8;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Writing: in the machine's own byte order, which the header's mark tells.

class Writer {
public:
    Writer() {
        std::string text = kHeaderText;
        text.resize(116, ' ');
        bytes_ = text;
        bytes_.append(8, ' ');  // no subsystem data
        const uint16_t version = 0x0100;
        const uint16_t mark = ('M' << 8) | 'I';  // reads "IM" when written little-endian
        raw(&version, 2);
        raw(&mark, 2);
    }

    void variable(const std::string& name, const Node& node) {
        if (name.empty() || name.find('\0') != std::string::npos) fail("cannot write a variable without a name");
        matrix(node, name);
    }

    const std::string& bytes() const { return bytes_; }

private:
    void raw(const void* data, size_t size) { bytes_.append(static_cast<const char*>(data), size); }
    void word(uint32_t value) { raw(&value, 4); }
    void pad() { bytes_.append((8 - bytes_.size() % 8) % 8, '\0'); }

    void element(uint32_t type, const void* data, size_t size) {
        if (size > UINT32_MAX) fail("cannot write an array of " + std::to_string(size) + " bytes");
        word(type);
        word(static_cast<uint32_t>(size));
        if (size != 0) raw(data, size);
        pad();
    }

    static uint32_t dimension(size_t n) {
        if (n > INT32_MAX) fail("cannot write an array of " + std::to_string(n) + " rows or columns");
        return static_cast<uint32_t>(n);
    }

    void matrix(const Node& node, const std::string& name) {
        const size_t start = bytes_.size();
        word(mi::matrix);
        word(0);  // the content's size, known at the end
        const bool isEmpty = node.kind == Node::Kind::empty;
        const uint32_t arrayClass = node.kind == Node::Kind::structure ? mc::structure
                                    : node.kind == Node::Kind::bytes   ? mc::uint8
                                    : node.kind == Node::Kind::text    ? mc::character
                                    : node.kind == Node::Kind::reals   ? static_cast<uint32_t>(node.numericClass)
                                                                       : mc::doubleClass;
        const uint32_t flags[2] = {arrayClass, 0};
        element(mi::uint32, flags, sizeof flags);
        const size_t columns = node.kind == Node::Kind::text ? node.text.size() : node.columns;
        const size_t rows = node.kind == Node::Kind::text ? 1 : node.rows;
        const uint32_t dims[2] = {isEmpty ? 0 : dimension(rows), isEmpty ? 0 : dimension(columns)};
        element(mi::int32, dims, sizeof dims);
        element(mi::int8, name.data(), name.size());
        switch (node.kind) {
            case Node::Kind::empty: element(mi::doubleType, nullptr, 0); break;
            case Node::Kind::reals: {
                if (node.numericClass == numeric_class::doubleClass) {
                    element(mi::doubleType, node.reals.data(), node.reals.size() * sizeof(double));
                    break;
                }
                std::vector<char> data(node.reals.size() * numeric_class::unitSize(node.numericClass));
                numeric_class::encode(node.numericClass, node.reals, data.data());
                element(elementTypeOf(node.numericClass), data.data(), data.size());
                break;
            }
            case Node::Kind::bytes: element(mi::uint8, node.bytes.data(), node.bytes.size()); break;
            case Node::Kind::text: {
                // Two bytes per character, as MATLAB itself stores text.
                const std::vector<uint16_t> units(node.text.begin(), node.text.end());
                element(mi::uint16, units.data(), units.size() * 2);
                break;
            }
            case Node::Kind::structure: structure(node); break;
        }
        const size_t contentSize = bytes_.size() - start - 8;
        if (contentSize > UINT32_MAX) fail("cannot write a variable of " + std::to_string(contentSize) + " bytes");
        const auto size32 = static_cast<uint32_t>(contentSize);
        std::memcpy(bytes_.data() + start + 4, &size32, 4);
    }

    void structure(const Node& node) {
        // Every name takes the same room, NUL-padded; as other writers do,
        // the room makes the names' element a whole number of 8-byte units.
        size_t room = 1;
        for (const auto& n : node.names) {
            if (n.empty() || n.find('\0') != std::string::npos) fail("cannot write a struct field without a name");
            room = std::max(room, n.size() + 1);
        }
        while (node.names.size() * room % 8 != 0) ++room;
        if (room > INT32_MAX) fail("cannot write a struct field name that long");
        word((4u << 16) | mi::int32);  // a small element: the room
        word(static_cast<uint32_t>(room));
        std::string names(node.names.size() * room, '\0');
        for (size_t i = 0; i < node.names.size(); ++i) node.names[i].copy(names.data() + i * room, node.names[i].size());
        element(mi::int8, names.data(), names.size());
        for (const Node& field : node.fields) matrix(field, "");
    }

    std::string bytes_;
};

// ---------------------------------------------------------------------------
// Reading.  Every element must lie inside the one that contains it and every
// array must hold exactly the data its dimensions call for, so that nothing
// read is larger than the file; the whole file is checked so, whichever
// variables are then taken from it.

struct Span {
    uint32_t type = 0;
    size_t data = 0;  // offset of the data
    size_t size = 0;  // bytes of data
    size_t next = 0;  // offset after the element and its padding
};

// A variable as the file holds it.
struct Array {
    bool empty = false;  // a matrix element without content
    size_t at = 0;       // offset of its content
    uint32_t arrayClass = 0;
    bool complex = false;
    std::vector<uint32_t> dims;
    std::string name;
    Span values;                     // numeric and text classes: the real part
    std::vector<std::string> names;  // struct: field names
    std::vector<Array> members;      // struct: fields, element by element; cell: cells
};

class Reader {
public:
    Reader(const std::string& content, const std::string& path)
        : content_(content), path_(path), swapped_(content.compare(126, 2, "IM") != 0) {}

    std::vector<Array> variables() const {
        std::vector<Array> result;
        size_t offset = kHeaderSize;
        while (offset < content_.size()) {
            const Span e = element(offset, content_.size());
            if (e.type == mi::compressed) damaged("holds compressed variables, which snapshot files never do", offset);
            if (e.type != mi::matrix) damaged("holds data that is not a variable", offset);
            result.push_back(matrix(e, 0));
            offset = e.next;
        }
        return result;
    }

    // The value a variable stands for, or a Failure naming `where` in it.
    Node node(const Array& a, const std::string& where, int depth) const {
        const auto refuse = [&](const std::string& why) -> Node { fail(path_ + ": " + where + ": " + why); };
        if (a.empty) return Node{};
        if (a.dims.size() != 2) return refuse("not a two-dimensional array");
        if (a.complex) return refuse("a complex array");
        const size_t rows = a.dims[0];
        const size_t columns = a.dims[1];
        const size_t count = rows * columns;  // no larger than the file: checked when read
        switch (a.arrayClass) {
            case mc::doubleClass: {
                if (count == 0) return Node{};  // an empty field is written as []
                std::vector<double> values;
                if (const auto why = numbers(a.values, count, values)) return refuse(*why);
                return Node::realMatrix(rows, columns, std::move(values));
            }
            case mc::uint8: {
                if (a.values.type != mi::uint8) return refuse("uint8 data of another kind");
                const auto* data = reinterpret_cast<const uint8_t*>(content_.data() + a.values.data);
                return Node::byteMatrix(rows, columns, {data, data + count});
            }
            case mc::character: {
                if (rows > 1) return refuse("text of more than one row");
                const size_t unit = a.values.type == mi::uint8 || a.values.type == mi::utf8     ? 1
                                    : a.values.type == mi::uint16 || a.values.type == mi::utf16 ? 2
                                                                                                : 0;
                if (unit == 0) return refuse("text data of an unknown kind");
                Node text = Node::textRow("");
                text.rows = rows;
                for (size_t i = 0; i < count; ++i) {
                    const uint32_t c = unit == 1 ? static_cast<uint8_t>(content_[a.values.data + i])
                                                 : half(a.values.data + 2 * i);
                    if (c == 0 || c > 0x7E) return refuse("text that is not plain ASCII");
                    text.text += static_cast<char>(c);
                }
                text.columns = text.text.size();
                return text;
            }
            case mc::structure: {
                if (rows != 1 || columns != 1) return refuse("a struct array, not a single struct");
                std::vector<Node> fields;
                for (size_t i = 0; i < a.names.size(); ++i) {
                    fields.push_back(node(a.members[i], where + "." + a.names[i], depth + 1));
                }
                return Node::structure(a.names, std::move(fields));
            }
            default: {
                // The other real numeric classes a host may hand back.
                const int classId = static_cast<int>(a.arrayClass);
                if (numeric_class::unitSize(classId) == 0) return refuse("an array of a class a snapshot does not hold");
                std::vector<double> values;
                if (const auto why = numbers(a.values, count, values)) return refuse(*why);
                return Node::numericMatrix(classId, rows, columns, std::move(values));
            }
        }
    }

private:
    [[noreturn]] void damaged(const std::string& why, size_t offset) const {
        fail(path_ + " is damaged: it " + why + " (at byte " + std::to_string(offset) + ")");
    }

    uint32_t word(size_t offset) const {
        uint32_t value;
        std::memcpy(&value, content_.data() + offset, sizeof value);
        return swapped_ ? __builtin_bswap32(value) : value;
    }

    uint16_t half(size_t offset) const {
        uint16_t value;
        std::memcpy(&value, content_.data() + offset, sizeof value);
        return swapped_ ? __builtin_bswap16(value) : value;
    }

    // The values of numeric data as doubles, or why they cannot be.
    std::optional<std::string> numbers(const Span& s, size_t count, std::vector<double>& values) const {
        values.resize(count);
        for (size_t i = 0; i < count; ++i) {
            if (number(s, i, values[i])) continue;
            return s.type == mi::int64 || s.type == mi::uint64 ? "a 64-bit integer beyond 2^53"
                                                               : "numeric data of an unknown kind";
        }
        return std::nullopt;
    }

    // Value `i` of numeric data, as a double; false for data that is not
    // numeric or has no exact double.  Every other kind of number converts
    // exactly, as in MATLAB, which may store whole-numbered doubles in a
    // smaller type.
    bool number(const Span& s, size_t i, double& out) const {
        const size_t unit = unitSize(s.type);
        if (unit == 0 || s.type == mi::utf8 || s.type == mi::utf16 || s.type == mi::utf32) return false;
        uint64_t bits = 0;
        std::memcpy(&bits, content_.data() + s.data + i * unit, unit);
        if (swapped_) bits = __builtin_bswap64(bits) >> (64 - 8 * unit);
        switch (s.type) {
            case mi::int8: out = static_cast<int8_t>(bits); break;
            case mi::uint8: out = static_cast<uint8_t>(bits); break;
            case mi::int16: out = static_cast<int16_t>(bits); break;
            case mi::uint16: out = static_cast<uint16_t>(bits); break;
            case mi::int32: out = static_cast<int32_t>(bits); break;
            case mi::uint32: out = static_cast<uint32_t>(bits); break;
            case mi::single: out = std::bit_cast<float>(static_cast<uint32_t>(bits)); break;
            case mi::doubleType: out = std::bit_cast<double>(bits); break;
            case mi::int64: {
                const auto v = static_cast<int64_t>(bits);
                if (v > kLargestExact || v < -kLargestExact) return false;
                out = static_cast<double>(v);
                break;
            }
            case mi::uint64:
                if (bits > static_cast<uint64_t>(kLargestExact)) return false;
                out = static_cast<double>(bits);
                break;
            default: return false;
        }
        return true;
    }

    // The element at `offset`, which must end by `end`.
    Span element(size_t offset, size_t end) const {
        if (end - offset < 8) damaged("ends inside a tag", offset);
        const uint32_t first = word(offset);
        if ((first >> 16) != 0) {
            const uint32_t size = first >> 16;
            if (size > 4) damaged("has a malformed small element", offset);
            return {first & 0xFFFF, offset + 4, size, offset + 8};
        }
        const uint64_t size = word(offset + 4);
        const uint64_t padded = first == mi::compressed ? size : (size + 7) / 8 * 8;
        // The last element of a file may leave out its padding.
        if (size > end - offset - 8 || (padded > end - offset - 8 && end != content_.size())) {
            damaged("has a variable that runs past its end", offset);
        }
        return {first, offset + 8, static_cast<size_t>(size), std::min(end, offset + 8 + static_cast<size_t>(padded))};
    }

    // Numeric or text data of exactly `count` values.
    Span values(size_t offset, size_t end, uint64_t count) const {
        const Span e = element(offset, end);
        const size_t unit = unitSize(e.type);
        if (unit == 0 || e.size % unit != 0 || e.size / unit != count) {
            damaged("has an array whose data does not match its size", offset);
        }
        return e;
    }

    Array matrix(const Span& m, int depth) const {
        Array a;
        a.at = m.data;
        if (m.size == 0) {  // an empty field
            a.empty = true;
            return a;
        }
        if (depth > kDeepestTree) damaged("nests variables too deeply", m.data);
        const size_t end = m.data + m.size;
        const Span flags = element(m.data, end);
        if (flags.type != mi::uint32 || flags.size != 8) damaged("has a variable without array flags", m.data);
        const uint32_t flagWord = word(flags.data);
        a.arrayClass = flagWord & 0xFF;
        a.complex = (flagWord & kComplexFlag) != 0;
        const Span dims = element(flags.next, end);
        if (dims.type != mi::int32 || dims.size < 8 || dims.size % 4 != 0) {
            damaged("has a variable without dimensions", flags.next);
        }
        uint64_t count = 1;
        for (size_t d = 0; d < dims.size; d += 4) {
            const auto n = static_cast<int32_t>(word(dims.data + d));
            if (n < 0) damaged("has a negative dimension", dims.data + d);
            a.dims.push_back(static_cast<uint32_t>(n));
            // No array can hold more values than the file has bytes.
            if (n != 0 && count > content_.size() / static_cast<uint64_t>(n)) count = content_.size() + 1;
            count *= static_cast<uint64_t>(n);
            if (count > content_.size()) damaged("has an array larger than the file", dims.data);
        }
        const Span name = element(dims.next, end);
        if (name.type != mi::int8) damaged("has a variable without a name", dims.next);
        a.name = content_.substr(name.data, name.size);
        a.name.resize(std::strlen(a.name.c_str()));
        size_t offset = name.next;
        if (a.arrayClass == mc::character || (a.arrayClass >= mc::doubleClass && a.arrayClass <= mc::uint64)) {
            a.values = values(offset, end, count);
            offset = a.values.next;
            if (a.complex) offset = values(offset, end, count).next;
        } else if (a.arrayClass == mc::structure) {
            const Span length = element(offset, end);
            if (length.type != mi::int32 || length.size != 4) damaged("has a struct without field names", offset);
            const uint32_t room = word(length.data);
            const Span names = element(length.next, end);
            if (names.type != mi::int8 || room == 0 || names.size % room != 0) {
                damaged("has a struct with malformed field names", length.next);
            }
            for (size_t at = 0; at < names.size; at += room) {
                std::string fieldName = content_.substr(names.data + at, room);
                fieldName.resize(std::strlen(fieldName.c_str()));
                a.names.push_back(std::move(fieldName));
            }
            offset = names.next;
            for (uint64_t f = 0; f < a.names.size() * count; ++f) {
                const Span field = element(offset, end);
                if (field.type != mi::matrix) damaged("has a struct field that is not a variable", offset);
                a.members.push_back(matrix(field, depth + 1));
                offset = field.next;
            }
        } else if (a.arrayClass == mc::cell) {
            for (uint64_t c = 0; c < count; ++c) {
                const Span cell = element(offset, end);
                if (cell.type != mi::matrix) damaged("has a cell that is not a variable", offset);
                a.members.push_back(matrix(cell, depth + 1));
                offset = cell.next;
            }
        } else {
            damaged("holds an array of a class snapshot files never hold", m.data);
        }
        if (offset != m.next && offset != end) damaged("has a variable with data beyond its content", offset);
        return a;
    }

    const std::string& content_;
    const std::string& path_;
    bool swapped_;
};

}  // namespace

void writeMatFile(const std::string& path, const std::vector<std::pair<std::string, Node>>& variables) {
    Writer writer;
    for (const auto& [name, node] : variables) writer.variable(name, node);
    AtomicFile file(path);
    const std::string& bytes = writer.bytes();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        fail("cannot write " + path + ": " + std::strerror(errno));
    }
    file.commit();
}

std::map<std::string, Node> readMatFile(const std::string& path, const std::vector<std::string>& names) {
    const std::string content = readWholeFile(path, kLargestFile);
    // Level 5 files carry their version 0x0100 at byte 124, in the writer's
    // byte order as the "IM" / "MI" mark after it tells.  Other files (HDF5
    // based level 7.3 ones among them) are refused here.
    const bool level5 = content.size() >= kHeaderSize &&
                        ((content.compare(124, 4, "\x00\x01IM", 4) == 0) ||
                         (content.compare(124, 4, "\x01\x00MI", 4) == 0));
    if (!level5) fail(path + " is not a MAT file (level 5)");
    const Reader reader(content, path);
    const std::vector<Array> variables = reader.variables();
    std::map<std::string, Node> result;
    for (const auto& name : names) {
        const auto found = std::find_if(variables.begin(), variables.end(),
                                        [&](const Array& a) { return a.name == name; });
        if (found != variables.end()) result.emplace(name, reader.node(*found, name, 0));
    }
    return result;
}

}  // namespace quarlin_sim
