// The results table: the README documents each result exactly as the program shows it.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "results/results.h"

namespace {

// The README's row of a named result, as the table gives it.
std::string readmeRow(const results::Row& row) {
    std::string box = std::string("\"") + row.firstLine + "\"";
    if (*row.secondLine != '\0')
        box += std::string(" / \"") + row.secondLine + "\"";
    return std::string("| `") + row.name + "` | " + row.when + " | " + box + " |";
}

TEST(ResultsTable, TheReadmeListsEachResultAsTheProgramShowsIt) {
    std::ifstream readme(NORVIK_README);
    ASSERT_TRUE(readme) << NORVIK_README;
    // The rows of named results in the table that begins "| Result | When | Box |".
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == "| Result | When | Box |")
            inTable = true;
        else if (line.empty())
            inTable = false;
        else if (inTable && line.rfind("| `", 0) == 0)
            rows.push_back(line);
    }
    std::vector<std::string> expected;
    std::set<std::string> names;
    for (const results::Row& row : results::kRows) {
        EXPECT_TRUE(names.insert(row.name).second) << "named twice: " << row.name;
        EXPECT_EQ(results::find(row.name), &row);
        expected.push_back(readmeRow(row));
    }
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(results::find(""), nullptr);
    EXPECT_EQ(results::find("neterr"), nullptr);
}

}  // namespace
