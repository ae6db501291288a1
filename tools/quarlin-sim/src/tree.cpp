#include "tree.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace quarlin_sim {

namespace numeric_class {

namespace {

template <class T>
void decodeAs(const void* data, size_t count, std::vector<double>& values, bool& exact) {
    values.resize(count);
    for (size_t i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, static_cast<const char*>(data) + i * sizeof(T), sizeof v);
        values[i] = static_cast<double>(v);
        // Every integer up to 2^53 in magnitude has its double.
        if constexpr (sizeof(T) == 8 && std::numeric_limits<T>::is_integer) {
            constexpr T limit = T{1} << 53;
            if (v > limit) exact = false;
            if constexpr (std::numeric_limits<T>::is_signed) {
                if (v < -limit) exact = false;
            }
        }
    }
}

template <class T>
T saturated(double value) {
    if constexpr (!std::numeric_limits<T>::is_integer) {
        return static_cast<T>(value);
    } else {
        if (std::isnan(value)) return 0;
        constexpr double lowest = static_cast<double>(std::numeric_limits<T>::lowest());
        constexpr double highest = static_cast<double>(std::numeric_limits<T>::max());
        if (value <= lowest) return std::numeric_limits<T>::lowest();
        if (value >= highest) return std::numeric_limits<T>::max();
        return static_cast<T>(value);
    }
}

template <class T>
void encodeAs(const std::vector<double>& values, void* data) {
    for (size_t i = 0; i < values.size(); ++i) {
        const T v = saturated<T>(values[i]);
        std::memcpy(static_cast<char*>(data) + i * sizeof(T), &v, sizeof v);
    }
}

// Calls `f` with a value of the C++ type that holds elements of `classId`.
template <class F>
bool withType(int classId, F&& f) {
    switch (classId) {
        case doubleClass: f(double{}); return true;
        case singleClass: f(float{}); return true;
        case int8Class: f(int8_t{}); return true;
        case int16Class: f(int16_t{}); return true;
        case uint16Class: f(uint16_t{}); return true;
        case int32Class: f(int32_t{}); return true;
        case uint32Class: f(uint32_t{}); return true;
        case int64Class: f(int64_t{}); return true;
        case uint64Class: f(uint64_t{}); return true;
        default: return false;
    }
}

}  // namespace

size_t unitSize(int classId) {
    size_t size = 0;
    withType(classId, [&](auto v) { size = sizeof v; });
    return size;
}

const char* name(int classId) {
    switch (classId) {
        case doubleClass: return "double";
        case singleClass: return "single";
        case int8Class: return "int8";
        case uint8Class: return "uint8";
        case int16Class: return "int16";
        case uint16Class: return "uint16";
        case int32Class: return "int32";
        case uint32Class: return "uint32";
        case int64Class: return "int64";
        case uint64Class: return "uint64";
        default: return "unknown";
    }
}

bool decode(int classId, const void* data, size_t count, std::vector<double>& values) {
    bool exact = true;
    const bool known = withType(classId, [&](auto v) { decodeAs<decltype(v)>(data, count, values, exact); });
    return known && exact;
}

void encode(int classId, const std::vector<double>& values, void* data) {
    withType(classId, [&](auto v) { encodeAs<decltype(v)>(values, data); });
}

}  // namespace numeric_class

Node Node::structure(std::vector<std::string> names, std::vector<Node> fields) {
    Node n;
    n.kind = Kind::structure;
    n.rows = n.columns = 1;
    n.names = std::move(names);
    n.fields = std::move(fields);
    n.fields.resize(n.names.size());
    return n;
}

Node Node::byteMatrix(size_t rows, size_t columns, std::vector<uint8_t> bytes) {
    Node n;
    n.kind = Kind::bytes;
    n.rows = rows;
    n.columns = columns;
    n.bytes = std::move(bytes);
    return n;
}

Node Node::realMatrix(size_t rows, size_t columns, std::vector<double> values) {
    Node n;
    n.kind = Kind::reals;
    n.rows = rows;
    n.columns = columns;
    n.reals = std::move(values);
    return n;
}

Node Node::numericMatrix(int classId, size_t rows, size_t columns, std::vector<double> values) {
    Node n = realMatrix(rows, columns, std::move(values));
    n.numericClass = classId;
    return n;
}

Node Node::byteRow(std::vector<uint8_t> bytes) {
    const size_t columns = bytes.size();
    return byteMatrix(1, columns, std::move(bytes));
}

Node Node::scalar(double value) { return realRow({value}); }

Node Node::realRow(std::vector<double> values) {
    const size_t columns = values.size();
    return realMatrix(1, columns, std::move(values));
}

Node Node::textRow(std::string text) {
    Node n;
    n.kind = Kind::text;
    n.rows = 1;
    n.columns = text.size();
    n.text = std::move(text);
    return n;
}

const Node* Node::field(const std::string& name) const {
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return &fields[i];
    }
    return nullptr;
}

}  // namespace quarlin_sim
