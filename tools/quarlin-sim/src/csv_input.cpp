#include "csv_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "failure.h"
#include "floats.h"

namespace quarlin_sim {

namespace {

// Splits one line into `fields`, whose strings keep their memory from line
// to line, so that reading a row allocates nothing once the first rows are
// read.  Returns the number of fields, or nothing when a quote is not
// closed on the line.
std::optional<size_t> splitFields(std::string_view line, std::vector<std::string>& fields) {
    size_t count = 0;
    size_t i = 0;
    while (true) {
        if (count == fields.size()) fields.emplace_back();
        std::string& field = fields[count++];
        field.clear();
        if (i < line.size() && line[i] == '"') {
            ++i;
            while (true) {
                if (i >= line.size()) return std::nullopt;
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            // Text after the closing quote belongs to the same field.
            while (i < line.size() && line[i] != ',') field += line[i++];
        } else {
            while (i < line.size() && line[i] != ',') field += line[i++];
        }
        if (i >= line.size()) break;
        ++i;  // the comma
    }
    return count;
}

std::string_view trimmedName(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    return name;
}

// Shows a value in a message without letting a long or binary field flood it.
std::string quoted(std::string_view value) {
    std::string out = "\"";
    size_t shown = 0;
    for (char c : value) {
        if (shown == 40) {
            out += "...";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            out += escaped;
        } else {
            out += c;
        }
        ++shown;
    }
    return out + "\"";
}

}  // namespace

InputReader::InputReader(const std::string& path) : source_(path), file_(std::fopen(path.c_str(), "rb")) {
    if (!file_) fail("cannot read " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(::fileno(file_.get()), &info) != 0) fail("cannot read " + path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) fail("cannot read " + path + ": it is a directory");
    readHeader();
}

InputReader::InputReader(std::string_view text, std::string source) : source_(std::move(source)), text_(text) {
    readHeader();
}

std::optional<std::string_view> InputReader::nextLine() {
    std::string_view line;
    if (!file_) {
        if (text_.empty()) return std::nullopt;
        const size_t end = text_.find('\n');
        line = text_.substr(0, end);
        text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
    } else {
        constexpr size_t kChunk = 1 << 16;
        size_t end;
        size_t searched = bufferStart_;
        while ((end = buffer_.find('\n', searched)) == std::string::npos) {
            if (buffer_.size() - bufferStart_ > kMaxInputLine) {
                fail(source_ + " line " + std::to_string(line_ + 1) + " is longer than " +
                     std::to_string(kMaxInputLine >> 20) + " MiB");
            }
            if (fileEnded_) break;
            // Keep only the unfinished line before reading on.
            buffer_.erase(0, bufferStart_);
            bufferStart_ = 0;
            searched = buffer_.size();
            const size_t had = buffer_.size();
            buffer_.resize(had + kChunk);
            const size_t got = std::fread(buffer_.data() + had, 1, kChunk, file_.get());
            buffer_.resize(had + got);
            if (got < kChunk) {
                if (std::ferror(file_.get())) fail("cannot read " + source_ + ": " + std::strerror(errno));
                fileEnded_ = true;
            }
        }
        if (end == std::string::npos) {
            if (bufferStart_ == buffer_.size()) return std::nullopt;
            end = buffer_.size();
        }
        line = std::string_view(buffer_).substr(bufferStart_, end - bufferStart_);
        bufferStart_ = end == buffer_.size() ? end : end + 1;
    }
    // A byte-order mark is what some spreadsheet programs put first.
    if (line_ == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_;
    return line;
}

void InputReader::readHeader() {
    std::optional<std::string_view> line;
    while ((line = nextLine()) && trimmedName(*line).empty()) {
    }
    if (!line) fail(source_ + " is empty: it needs a header row naming i_alpha,i_beta,v_alpha,v_beta");
    const std::string where = source_ + " line " + std::to_string(line_);
    const auto headerFields = splitFields(*line, fields_);
    if (!headerFields) fail(where + ": a quoted field is not closed");
    for (size_t port = 0; port < kInputNames.size(); ++port) {
        std::optional<size_t> found;
        for (size_t c = 0; c < *headerFields; ++c) {
            if (trimmedName(fields_[c]) != kInputNames[port]) continue;
            if (found) {
                fail(where + ": column " + std::string(kInputNames[port]) + " is named twice (fields " +
                     std::to_string(*found + 1) + " and " + std::to_string(c + 1) + ")");
            }
            found = c;
        }
        if (!found) {
            fail(where + ": the header has no column " + std::string(kInputNames[port]) +
                 " (it needs i_alpha,i_beta,v_alpha,v_beta)");
        }
        columnOf_[port] = *found;
    }
    headerFields_ = *headerFields;
}

bool InputReader::next(InputSample& sample) {
    while (const auto line = nextLine()) {
        if (trimmedName(*line).empty()) {
            if (blankLines_++ == 0) firstBlankLine_ = line_;
            continue;
        }
        // A blank line followed by a row is a row without values.
        if (blankLines_ > 0) readRow("", firstBlankLine_, sample);
        readRow(*line, line_, sample);
        ++rows_;
        return true;
    }
    if (rows_ == 0) fail(source_ + " has a header but no data rows");
    return false;
}

void InputReader::readRow(std::string_view line, uint64_t lineNumber, InputSample& sample) {
    // Messages are made only on a defect: a long input is read row by row,
    // and most rows have none.
    const auto where = [&] { return source_ + " line " + std::to_string(lineNumber); };
    const auto count = splitFields(line, fields_);
    if (!count) fail(where() + ": a quoted field is not closed");
    if (*count > headerFields_) {
        fail(where() + ": " + std::to_string(*count) + " fields, but the header names " +
             std::to_string(headerFields_));
    }
    for (size_t port = 0; port < kInputNames.size(); ++port) {
        const auto column = [&] { return where() + ", column " + std::string(kInputNames[port]); };
        if (columnOf_[port] >= *count) {
            fail(column() + ": missing (the row has " + std::to_string(*count) + " of the header's " +
                 std::to_string(headerFields_) + " fields)");
        }
        const std::string& value = fields_[columnOf_[port]];
        const auto number = readBinary32(value);
        if (!number) fail(column() + ": " + quoted(value) + " is not a number");
        sample[port] = *number;
    }
}

InputTable parseInputCsv(std::string_view text, const std::string& source) {
    InputReader reader(text, source);
    InputTable table;
    InputSample sample{};
    while (reader.next(sample)) table.rows.push_back(sample);
    return table;
}

}  // namespace quarlin_sim
