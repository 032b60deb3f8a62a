// Golden cases: "== name ==" starts a table, rows are tab-parted, "#" comments; "%XX" is a byte,
// "%_" nothing (an empty or visible blank field); all else literal, backslashes as typed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace golden {

using Row = std::vector<std::string>;

// The enumerator whose name stands at its place in names, which lists them in their order.
template <typename Enum, size_t N>
Enum named(const std::string& name, const char* const (&names)[N]) {
    return Enum(std::ranges::find(names, name) - std::begin(names));
}

// A missing or empty table fails the calling test.
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
