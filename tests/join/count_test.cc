#include "join/count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "check/random_script.h"
#include "join/oracle.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/worker_pool.h"

namespace {

constexpr uint64_t kSeed = 0x5EED;

struct countsStruct {
  std::string rows;
  std::string trimmed;
};

bool isRunnable(const scriptStruct& script) {
  if (script.joinVec.size() < 2) return false;
  std::vector<int32_t> tables = findTables(script.joinVec, script.mainVec, kSeed);
  return std::find(tables.begin(), tables.end(), -1) == tables.end();
}

countsStruct engineCounts(const scriptStruct& script, size_t workers = 1) {
  workerPoolStruct pool(workers);
  joinStruct join =
      prepareJoin(script.mainVec, findTables(script.joinVec, script.mainVec, kSeed), kSeed, pool);
  resultCountStruct count = countResult(join);
  return {decimalOf(count.rows), decimalOf(count.trimmed)};
}

// The rows of the literal join, and how many of them stand before the first of the longest.
countsStruct oracleCounts(const scriptStruct& script) {
  oracleRelationStruct result = oracleJoin(script.mainVec, script.joinVec);
  size_t longest = 0;
  for (const auto& row : result.rows) longest = std::max(longest, row.size());
  size_t trimmed = 0;
  while (trimmed < result.rows.size() && result.rows[trimmed].size() < longest) ++trimmed;
  return {std::to_string(result.rows.size() - trimmed), std::to_string(trimmed)};
}

TEST(ResultCount, WorkedCases) {
  struct Case {
    const char* what;
    std::string_view script;
    countsStruct expected;
  } cases[] = {
      {"natural join", "R(a int, b int)\n1, 2\n3, 4\n\nS(b int)\n2\n2\n\njoin(R, S)", {"2", "0"}},
      {"product", "R(a int)\n1\n2\n3\n\nS(b int)\n1\n2\n\njoin(R, S)", {"6", "0"}},
      {"empty relation", "R(a int)\n1\n\nS(b int)\n\njoin(R, S)", {"0", "0"}},
      {"nothing matches", "R(a int)\n1\n\nS(a int)\n2\n\njoin(R, S)", {"0", "0"}},
      {"leading short row",
       "R(a int, b int)\n1, 2\n3, 4, 5\n\nS(b int)\n2\n4\n\njoin(R, S)",
       {"1", "1"}},
      {"short row after the longest stays",
       "R(a int, b int)\n3, 4, 5\n1, 4\n\nS(b int)\n4\n\njoin(R, S)",
       {"2", "0"}},
      // Rows 2, 3 of the product of T's rows with the longest at T's second row: ranks 0..5
      // run [1,x][1,y,z][2,x][2,y,z][3,x][3,y,z], so one row goes.
      {"trailing product of ragged rows",
       "R(a int)\n1\n2\n3\n\nT(b int)\nx\ny, z\n\njoin(R, T)",
       {"5", "1"}},
      {"ragged first level, trailing products",
       "R(a int)\n1\n2, 2\n\nS(b int)\nx\ny, y\n\nT(c int)\np, p\nq\n\njoin(R, S, T)",
       {"2", "6"}},
      {"key of a missing value matches nothing",
       "R(a int, b int)\n1\n2, 5\n\nS(b int, c int)\n5, 9\n\njoin(R, S)",
       {"1", "0"}},
  };
  for (const Case& c : cases) {
    scriptStruct script = readScript(c.script);
    ASSERT_TRUE(isRunnable(script)) << c.what;
    countsStruct counts = engineCounts(script);
    EXPECT_EQ(c.expected.rows, counts.rows) << c.what;
    EXPECT_EQ(c.expected.trimmed, counts.trimmed) << c.what;
    EXPECT_EQ(oracleCounts(script).rows, counts.rows) << c.what;
  }
}

TEST(ResultCount, ProductPastSixtyFourBits) {
  // 70 relations of two rows each, and a trailing one of rows of two lengths.
  std::string text;
  std::string join = "join(";
  for (int i = 0; i < 70; ++i) {
    std::string number = std::to_string(i);
    text.append("R").append(number).append("(a").append(number).append(" int)\n1\n2\n\n");
    join.append("R").append(number).append(", ");
  }
  text.append("T(t int)\n1\n2, 2\n\n").append(join).append("T)\n");
  countsStruct counts = engineCounts(readScript(text));
  // 2^71 rows, of which every other one is short; only the first goes.
  EXPECT_EQ("2361183241434822606847", counts.rows);
  EXPECT_EQ("1", counts.trimmed);
}

TEST(ResultCount, MatchesLiteralJoinOnRandomScripts) {
  size_t compared = 0;
  size_t trimming = 0;
  for (uint32_t seed = 1; seed <= 8000; ++seed) {
    std::string text = randomScript(seed);
    scriptStruct script = readScript(text);
    if (!isRunnable(script)) continue;
    ++compared;
    countsStruct expected = oracleCounts(script);
    countsStruct counts = engineCounts(script, seed % 4 == 0 ? 2 : 1);
    ASSERT_EQ(expected.rows, counts.rows) << "seed " << seed << "\n" << text;
    ASSERT_EQ(expected.trimmed, counts.trimmed) << "seed " << seed << "\n" << text;
    if (counts.trimmed != "0") ++trimming;
  }
  // Guards the maker: most scripts must run, and many must trim.
  EXPECT_GT(compared, 4000U);
  EXPECT_GT(trimming, 200U);
}

}  // namespace
