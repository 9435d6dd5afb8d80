#include "join/join_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The verdict as one short line: "tables 1 0", "unknown 2", "too few", "past limits".
std::string dumpVerdict(const joinListVerdictStruct& verdict) {
  switch (verdict.kind) {
    case joinListKind::kTooFewNames:
      return "too few";
    case joinListKind::kPastLimits:
      return "past limits";
    case joinListKind::kUnknownName:
      return "unknown " + std::to_string(verdict.unknownName);
    case joinListKind::kTables:
      break;
  }
  std::string text = "tables";
  for (int32_t table : verdict.tables) text.append(" ").append(std::to_string(table));
  return text;
}

TEST(JoinListVerdict, NamesAndLimitsInTheirOrder) {
  const std::string relations = "R(a t)\n1\n2\n3\n\nS(b t)\n1\n\nR(c t)\n1\n\n";
  struct Case {
    std::string joinLines;
    joinLimitsStruct limits;
    std::string verdict;
  } cases[] = {
      {"", {}, "too few"},
      {"join(R)\n", {}, "too few"},
      // Fewer than two names is told whatever the limits.
      {"join(R)\n", {.mostRows = 0, .mostPositions = 0}, "too few"},
      {"join(S, R)\n", {}, "tables 1 0"},
      {"join(R, R, S)\n", {}, "tables 0 0 1"},
      // The first unknown name, not the last; a name is found by its bytes alone.
      {"join(S, T, r, U)\n", {}, "unknown 1"},
      {"join(R, S)\njoin(T)\n", {}, "unknown 2"},
      // Rows and attributes count only for relations of the join, once every name is found.
      {"join(R, S)\n", {.mostRows = 3}, "tables 0 1"},
      {"join(R, S)\n", {.mostRows = 2}, "past limits"},
      {"join(S, S)\n", {.mostRows = 2}, "tables 1 1"},
      {"join(R, T)\n", {.mostRows = 2}, "unknown 1"},
      // Relations of the script and names of the list count before any name is looked up.
      {"join(R, T)\n", {.mostPositions = 2}, "past limits"},
      {"join(S, S, S)\n", {.mostPositions = 3}, "tables 1 1 1"},
      {"join(S, S, S, S)\n", {.mostPositions = 3}, "past limits"},
  };
  for (const Case& c : cases) {
    std::string text = relations + c.joinLines;
    scriptStruct script = readScript(text);
    EXPECT_EQ(c.verdict, dumpVerdict(joinListVerdict(script, 0x5EED, c.limits))) << c.joinLines;
  }
}

}  // namespace
