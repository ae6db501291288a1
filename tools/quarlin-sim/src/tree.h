// A tree of values as the block's snapshot and a MAT file both hold it:
// 1x1 structs, unsigned 8-bit byte arrays, double matrices, char rows, and
// empty fields.  It is the simulator's own copy, independent of the host's
// arrays and of the MAT library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarlin_sim {

// The block's snapshots are three levels deep; a tree nested past this is
// not one, and reading it no further keeps a damaged file from exhausting
// the stack.
inline constexpr int kDeepestTree = 16;

struct Node {
    enum class Kind { empty, structure, bytes, reals, text };
    Kind kind = Kind::empty;
    size_t rows = 0;
    size_t columns = 0;
    std::vector<std::string> names;  // structure: field names, in field order
    std::vector<Node> fields;        // structure: one per name
    std::vector<uint8_t> bytes;      // bytes: rows x columns
    std::vector<double> reals;       // reals: rows x columns, column by column
    std::string text;                // text: one row

    static Node structure(std::vector<std::string> names, std::vector<Node> fields);
    // Arrays of rows x columns values, column by column.
    static Node byteMatrix(size_t rows, size_t columns, std::vector<uint8_t> bytes);
    static Node realMatrix(size_t rows, size_t columns, std::vector<double> values);
    static Node byteRow(std::vector<uint8_t> bytes);
    static Node scalar(double value);
    static Node realRow(std::vector<double> values);
    static Node textRow(std::string text);

    // The field of that name, or null.
    const Node* field(const std::string& name) const;
    bool isScalar() const { return kind == Kind::reals && reals.size() == 1; }
};

// Where `got` differs from `expected` in shape: kinds, field names and their
// order, and sizes of arrays; values are not compared.  Empty when alike.
// `path` names the root in the result ("snapshot.mdlrefDW.rtb: ...").
std::optional<std::string> shapeDifference(const Node& expected, const Node& got,
                                           const std::string& path);

}  // namespace quarlin_sim
