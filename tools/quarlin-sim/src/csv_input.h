// Measured inputs of a run: a CSV file whose header names at least the four
// input columns, one row per step.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarlin_sim {

// The block's inputs in port order.
inline constexpr std::array<std::string_view, 4> kInputNames = {"i_alpha", "i_beta", "v_alpha",
                                                                "v_beta"};

using InputSample = std::array<float, 4>;

struct InputTable {
    std::vector<InputSample> rows;  // row k feeds step k
};

// Reads and checks the whole text before anything runs.  Columns are found
// by their header name in any order; other columns are ignored.  A value is
// a decimal number, nan, inf or -inf, read to the nearest binary32.  Fields
// may be quoted as in RFC 4180 (a quoted field stays on one line).  Blank
// lines at the end are ignored.  Any defect throws a Failure naming the
// line and the column; `source` names the text in messages.
InputTable parseInputCsv(std::string_view text, const std::string& source);
InputTable readInputCsv(const std::string& path);

}  // namespace quarlin_sim
