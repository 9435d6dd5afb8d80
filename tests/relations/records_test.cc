#include "relations/records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Rows are packed against the script's start; whatever does not fit must come back unchanged.
TEST(RowVec, EveryLineComesBackAsAdded) {
  std::string script = "R(a int)\n1, x\n\n2\n";
  std::string longLine(rowVec::kLengthMask + 5, 'v');
  std::string elsewhere = "before the script?";
  rowVec rows;
  rows.base = script.data();
  std::vector<std::string_view> lines = {
      std::string_view(script).substr(9, 4),
      std::string_view(script).substr(15, 1),
      std::string_view(script).substr(14, 0),
      longLine,
      elsewhere,
      std::string_view(longLine).substr(0, rowVec::kLengthMask - 1),
  };
  for (std::string_view line : lines) rows.push_back(line);
  ASSERT_EQ(lines.size(), rows.size());
  size_t at = 0;
  for (std::string_view row : rows) {
    EXPECT_EQ(lines[at].data(), row.data()) << at;
    EXPECT_EQ(lines[at].size(), row.size()) << at;
    ++at;
  }
  EXPECT_EQ(lines.size(), at);
}

}  // namespace
