#include "floats.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

namespace quarlin_sim {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// std::from_chars takes no leading '+', which people and other tools write.
std::string_view withoutPlus(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    return text;
}

template <typename T>
char* writeShortest(char* out, T value, std::chars_format format) {
    return std::to_chars(out, out + kMaxNumberText, value, format).ptr;
}

// Without a format, to_chars picks the shorter of positional and
// scientific notation: "16777215", "1e-45".
template <typename T>
char* writeShortest(char* out, T value) {
    return std::to_chars(out, out + kMaxNumberText, value).ptr;
}

}  // namespace

char* writeBinary32(char* out, float value) { return writeShortest(out, value); }

char* writeDouble(char* out, double value) { return writeShortest(out, value); }

char* writeDoubleFixed(char* out, double value) {
    // Positional notation of a large double runs past any buffer; those fall
    // back to the general form, which is just as exact.
    if (!(value > -1e15 && value < 1e15)) return writeDouble(out, value);
    return writeShortest(out, value, std::chars_format::fixed);
}

std::optional<float> readBinary32(std::string_view text) {
    text = withoutPlus(trimmed(text));
    if (text.empty()) return std::nullopt;
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) return std::nullopt;
    if (error == std::errc()) return value;
    if (error != std::errc::result_out_of_range) return std::nullopt;
    // from_chars leaves the value alone when it over- or underflows; strtof
    // gives the IEEE rounding (infinity, a subnormal or zero) for the same
    // text, which from_chars has already found to be a number.
    const std::string copy(text);
    errno = 0;
    return std::strtof(copy.c_str(), nullptr);
}

std::optional<double> readDouble(std::string_view text) {
    text = withoutPlus(trimmed(text));
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size() || error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace quarlin_sim
