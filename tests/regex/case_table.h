// Reads the golden cases kept in data files: "== name ==" starts a table, each other line is a row
// of fields parted by tabs, "#" starts a comment line. In a field "%XX" is the byte of hex XX
// and "%_" nothing (an empty field, or a blank that must stay visible); all else is literal, so
// patterns keep their backslashes as typed.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace golden {

using Row = std::vector<std::string>;

// The rows of table `name` in `path`; a missing or empty table fails the calling test.
inline std::vector<Row> caseTable(const std::string& path, const std::string& name) {
    std::vector<Row> rows;
    std::ifstream in(path);
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("== ") && line.ends_with(" =="))
            inTable = line == "== " + name + " ==";
        else if (inTable && !line.empty() && line[0] != '#') {
            std::istringstream fields(line);
            Row& row = rows.emplace_back();
            for (std::string field; std::getline(fields, field, '\t');) {
                std::string& value = row.emplace_back();
                for (size_t i = 0; i < field.size(); ++i)
                    if (field[i] != '%')
                        value += field[i];
                    else if (field[++i] != '_')
                        value += static_cast<char>(std::stoi(field.substr(i++, 2), nullptr, 16));
            }
        }
    }
    EXPECT_FALSE(rows.empty()) << name << " in " << path;
    return rows;
}

} // namespace golden
