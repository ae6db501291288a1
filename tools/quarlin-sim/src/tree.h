// A tree of values as the block's snapshot and a MAT file both hold it:
// 1x1 structs, unsigned 8-bit byte arrays, real numeric matrices (double,
// and the other real classes a host may hand back), char rows, and empty
// fields.  It is the simulator's own copy, independent of the host's
// arrays and of the MAT library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin_sim {

// The block's snapshots are three levels deep; a tree nested past this is
// not one, and reading it no further keeps a damaged file from exhausting
// the stack.
inline constexpr int kDeepestTree = 16;

// Class numbers of real numeric arrays, the same in the host's arrays and in
// MAT files.  uint8 is a byte array of its own kind.
namespace numeric_class {
inline constexpr int doubleClass = 6;
inline constexpr int singleClass = 7;
inline constexpr int int8Class = 8;
inline constexpr int uint8Class = 9;
inline constexpr int int16Class = 10;
inline constexpr int uint16Class = 11;
inline constexpr int int32Class = 12;
inline constexpr int uint32Class = 13;
inline constexpr int int64Class = 14;
inline constexpr int uint64Class = 15;

// Bytes per value of a real numeric class other than uint8; 0 for any other class.
size_t unitSize(int classId);
const char* name(int classId);
// The values of `count` elements of `classId` at `data`, as doubles; false
// when one of them has no exact double (a 64-bit integer beyond 2^53).
bool decode(int classId, const void* data, size_t count, std::vector<double>& values);
// The values as elements of `classId`; integers saturate at their range.
void encode(int classId, const std::vector<double>& values, void* data);
}  // namespace numeric_class

struct Node {
    enum class Kind { empty, structure, bytes, reals, text };
    Kind kind = Kind::empty;
    size_t rows = 0;
    size_t columns = 0;
    int numericClass = numeric_class::doubleClass;  // reals: the class the values came in
    std::vector<std::string> names;  // structure: field names, in field order
    std::vector<Node> fields;        // structure: one per name
    std::vector<uint8_t> bytes;      // bytes: rows x columns
    std::vector<double> reals;       // reals: rows x columns, column by column
    std::string text;                // text: one row

    static Node structure(std::vector<std::string> names, std::vector<Node> fields);
    // Arrays of rows x columns values, column by column.
    static Node byteMatrix(size_t rows, size_t columns, std::vector<uint8_t> bytes);
    static Node realMatrix(size_t rows, size_t columns, std::vector<double> values);
    static Node numericMatrix(int classId, size_t rows, size_t columns, std::vector<double> values);
    static Node byteRow(std::vector<uint8_t> bytes);
    static Node scalar(double value);
    static Node realRow(std::vector<double> values);
    static Node textRow(std::string text);

    // The field of that name, or null.
    const Node* field(const std::string& name) const;
    bool isScalar() const {
        return kind == Kind::reals && numericClass == numeric_class::doubleClass && reals.size() == 1;
    }
};

}  // namespace quarlin_sim
