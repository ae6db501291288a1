#include "tree.h"

namespace quarlin_sim {

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

namespace {

const char* kindName(Node::Kind kind) {
    switch (kind) {
        case Node::Kind::empty: return "empty";
        case Node::Kind::structure: return "a struct";
        case Node::Kind::bytes: return "a uint8 array";
        case Node::Kind::reals: return "a double array";
        case Node::Kind::text: return "a char array";
    }
    return "unknown";
}

std::string dims(const Node& n) { return std::to_string(n.rows) + "x" + std::to_string(n.columns); }

}  // namespace

std::optional<std::string> shapeDifference(const Node& expected, const Node& got,
                                           const std::string& path) {
    if (expected.kind != got.kind) {
        return path + " is " + kindName(got.kind) + ", expected " + kindName(expected.kind);
    }
    if (expected.kind == Node::Kind::empty) return std::nullopt;
    if (expected.rows != got.rows || expected.columns != got.columns) {
        return path + " is " + dims(got) + ", expected " + dims(expected);
    }
    if (expected.kind != Node::Kind::structure) return std::nullopt;
    if (expected.names.size() != got.names.size()) {
        return path + " has " + std::to_string(got.names.size()) + " fields, expected " +
               std::to_string(expected.names.size());
    }
    for (size_t i = 0; i < expected.names.size(); ++i) {
        if (expected.names[i] != got.names[i]) {
            return path + " field " + std::to_string(i) + " is named \"" + got.names[i] +
                   "\", expected \"" + expected.names[i] + "\"";
        }
        if (auto d = shapeDifference(expected.fields[i], got.fields[i], path + "." + got.names[i])) {
            return d;
        }
    }
    return std::nullopt;
}

}  // namespace quarlin_sim
