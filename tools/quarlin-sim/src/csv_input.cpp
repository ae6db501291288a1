#include "csv_input.h"

#include <cstdio>
#include <optional>

#include "failure.h"
#include "files.h"
#include "floats.h"

namespace quarlin_sim {

namespace {

// Splits one line into fields.  Empty when a quote is not closed on the line.
std::optional<std::vector<std::string>> splitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::string field;
    size_t i = 0;
    while (true) {
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
        fields.push_back(field);
        if (i >= line.size()) break;
        ++i;  // the comma
    }
    return fields;
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

InputTable parseInputCsv(std::string_view text, const std::string& source) {
    // A byte-order mark is what some spreadsheet programs put first.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    while (!lines.empty() && trimmedName(lines.back()).empty()) lines.pop_back();
    if (lines.empty()) fail(source + " is empty: it needs a header row naming i_alpha,i_beta,v_alpha,v_beta");

    const auto header = splitFields(lines[0]);
    if (!header) fail(source + " line 1: a quoted field is not closed");
    std::array<size_t, 4> columnOf{};
    for (size_t port = 0; port < kInputNames.size(); ++port) {
        std::optional<size_t> found;
        for (size_t c = 0; c < header->size(); ++c) {
            if (trimmedName((*header)[c]) != kInputNames[port]) continue;
            if (found) {
                fail(source + " line 1: column " + std::string(kInputNames[port]) +
                     " is named twice (fields " + std::to_string(*found + 1) + " and " +
                     std::to_string(c + 1) + ")");
            }
            found = c;
        }
        if (!found) {
            fail(source + " line 1: the header has no column " + std::string(kInputNames[port]) +
                 " (it needs i_alpha,i_beta,v_alpha,v_beta)");
        }
        columnOf[port] = *found;
    }
    if (lines.size() == 1) fail(source + " has a header but no data rows");

    InputTable table;
    table.rows.reserve(lines.size() - 1);
    for (size_t l = 1; l < lines.size(); ++l) {
        // Messages are made only on a defect: a long input is read row by
        // row, and most rows have none.
        const auto where = [&] { return source + " line " + std::to_string(l + 1); };
        const auto fields = splitFields(lines[l]);
        if (!fields) fail(where() + ": a quoted field is not closed");
        if (fields->size() > header->size()) {
            fail(where() + ": " + std::to_string(fields->size()) + " fields, but the header names " +
                 std::to_string(header->size()));
        }
        InputSample sample{};
        for (size_t port = 0; port < kInputNames.size(); ++port) {
            const auto column = [&] { return where() + ", column " + std::string(kInputNames[port]); };
            if (columnOf[port] >= fields->size()) {
                fail(column() + ": missing (the row has " + std::to_string(fields->size()) + " of the header's " +
                     std::to_string(header->size()) + " fields)");
            }
            const std::string& value = (*fields)[columnOf[port]];
            const auto number = readBinary32(value);
            if (!number) fail(column() + ": " + quoted(value) + " is not a number");
            sample[port] = *number;
        }
        table.rows.push_back(sample);
    }
    return table;
}

InputTable readInputCsv(const std::string& path) {
    return parseInputCsv(readWholeFile(path), path);
}

}  // namespace quarlin_sim
