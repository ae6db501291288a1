// Numbers as text: every binary32 is written in its shortest form that reads
// back to the same bits, and read back to the nearest binary32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarlin_sim {

// Longest text any of the formatters below writes.
inline constexpr size_t kMaxNumberText = 40;

// Shortest round-trip form: "0.1", "1e-45", "-0", "inf", "-inf", "nan",
// "-nan".  Writes at most kMaxNumberText characters at `out` and returns the
// end.  A NaN's payload is not written: every NaN reads back as the quiet
// NaN of its sign.
char* writeBinary32(char* out, float value);
char* writeDouble(char* out, double value);
// Shortest round-trip form in positional notation ("0.0003", not "3e-04"):
// for times and other values of a moderate range.
char* writeDoubleFixed(char* out, double value);
// What writeDoubleFixed writes for count / 10000.0 (a step's time in s),
// straight from the integer: the decimal itself, trailing zeros dropped.
char* writeTenThousandths(char* out, uint64_t count);

// Nearest binary32 to a decimal number ("0.1", "-1.5e-40", "+2", "nan",
// "inf", "-inf", "infinity"; case-insensitive words); spaces around it are
// ignored.  Numbers beyond the range round to infinity or zero as IEEE
// round-to-nearest does.  Empty when the text is not a number.
std::optional<float> readBinary32(std::string_view text);
// The same for binary64, where a value out of range is refused.
std::optional<double> readDouble(std::string_view text);

}  // namespace quarlin_sim
