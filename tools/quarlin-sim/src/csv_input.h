// Measured inputs of a run: a CSV file whose header names at least the four
// input columns, one row per step.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarlin_sim {

// The block's inputs in port order.
inline constexpr std::array<std::string_view, 4> kInputNames = {"i_alpha", "i_beta", "v_alpha",
                                                                "v_beta"};

using InputSample = std::array<float, 4>;

// The longest line the reader takes: far above any real row, low enough that
// a file with no line breaks cannot take the machine's memory.
inline constexpr size_t kMaxInputLine = size_t{16} << 20;

// Reads the rows one at a time, so that an input of any length needs the
// memory of one line.  Columns are found by their header name in any order;
// other columns are ignored.  A value is a decimal number, nan, inf or -inf,
// read to the nearest binary32.  Fields may be quoted as in RFC 4180 (a
// quoted field stays on one line).  Blank lines at the end are ignored.  Any
// defect throws a Failure naming the line and the column; `source` names
// the text in messages.  The header is read when the reader is made.
class InputReader {
public:
    // Over a file.
    explicit InputReader(const std::string& path);
    // Over a text in memory; `source` names it.
    InputReader(std::string_view text, std::string source);
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // The next row into `sample`; false after the last.  An input without a
    // single data row fails at the first call.
    bool next(InputSample& sample);
    uint64_t rowsRead() const { return rows_; }
    const std::string& source() const { return source_; }

private:
    // The next line without its line break; nullopt at the end.
    std::optional<std::string_view> nextLine();
    void readHeader();
    void readRow(std::string_view line, uint64_t lineNumber, InputSample& sample);

    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    std::string source_;
    std::unique_ptr<FILE, FileCloser> file_;  // closed however the reader ends, a failed header included
    std::string_view text_;   // what is left of an in-memory text
    std::string buffer_;      // bytes read from the file, from bufferStart_ on
    size_t bufferStart_ = 0;
    bool fileEnded_ = false;
    uint64_t line_ = 0;       // lines taken so far
    uint64_t rows_ = 0;
    uint64_t blankLines_ = 0;  // blank lines held back: they are an error only before a row
    uint64_t firstBlankLine_ = 0;
    size_t headerFields_ = 0;
    std::vector<std::string> fields_;  // of the line last split
    std::array<size_t, 4> columnOf_{};
};

// Every row of a text, read by an InputReader.
struct InputTable {
    std::vector<InputSample> rows;  // row k feeds step k
};
InputTable parseInputCsv(std::string_view text, const std::string& source);

}  // namespace quarlin_sim
