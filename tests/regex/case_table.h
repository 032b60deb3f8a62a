// Reads the golden cases kept in data files: "== name ==" starts a table, each other line is a row
// of fields parted by tabs, "#" starts a comment line. In a field "%XX" is the byte of hex XX
// and "%_" nothing (an empty field, or a blank that must stay visible); all else is literal, so
// patterns keep their backslashes as typed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace golden {

using Row = std::vector<std::string>;

inline std::string unescapeField(const std::string& field) {
    std::string value;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%' || i + 1 == field.size())
            value += field[i];
        else if (field[i + 1] == '_')
            ++i;
        else {
            value += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return value;
}

// The rows of table `name` in `path`; a missing or empty table fails the calling test.
inline std::vector<Row> caseTable(const std::string& path, const std::string& name) {
    std::map<std::string, std::vector<Row>> tables;
    std::ifstream in(path);
    std::vector<Row>* table = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("== ") && line.ends_with(" ==") && line.size() > 6)
            table = &tables[line.substr(3, line.size() - 6)];
        else if (table != nullptr && !line.empty() && line[0] != '#') {
            Row& row = table->emplace_back();
            for (size_t start = 0; start < line.size();) {
                const size_t end = std::min(line.find('\t', start), line.size());
                row.push_back(unescapeField(line.substr(start, end - start)));
                start = line.find_first_not_of('\t', end);
            }
        }
    }
    EXPECT_FALSE(tables[name].empty()) << name << " in " << path;
    return tables[name];
}

} // namespace golden
