#include "join/join.h"

#include <gtest/gtest.h>

#include <string>

#include "relations/lookup.h"
#include "relations/reader.h"

namespace {

// Any seed gives the same rows; tests that build one index take this one.
constexpr uint64_t kSeed = 0x5EED;

// The plan as one line: heading, then per step "L>R" pairs and skipped positions, or "x" for
// a Cartesian product.
std::string dumpPlan(const joinPlanStruct& plan) {
  std::string text;
  for (const fieldStruct& field : plan.fields) {
    text.append(field.name).append(":").append(field.type).append(" ");
  }
  for (const stepStruct& step : plan.steps) {
    text += "|";
    if (step.leftPositions.empty()) text += "x";
    for (size_t k = 0; k < step.leftPositions.size(); ++k) {
      text.append(std::to_string(step.leftPositions[k])).append(">");
      text.append(std::to_string(step.rightPositions[k])).append(" ");
    }
    text += "skip";
    for (int32_t position : step.skippedPositions)
      text.append(" ").append(std::to_string(position));
  }
  return text;
}

TEST(PlanJoin, HeadingsAndComparedPositions) {
  struct Case {
    std::string_view script;
    std::string_view plan;
  } cases[] = {
      {"R(a int, b str)\n\nS(c int, b str)\n\njoin(R, S)", "a:int b:str c:int |1>1 skip 1"},
      {"R(a int, b str)\n\nS(c int, b int)\n\njoin(R, S)", "a:int b:str c:int b:int |xskip"},
      // Declared twice on the right: compared once, at its first position.
      {"R(a int, b str)\n\nS(b str, c int, b str)\n\njoin(R, S)", "a:int b:str c:int |1>0 skip 0"},
      // Declared twice on the left: the heading keeps both, compared at the first.
      {"R(b str, b str)\n\nS(b str)\n\njoin(R, S)", "b:str b:str |0>0 skip 0"},
      {"R(a int, b int)\n\nS(b int, c int)\n\nT(c int, d int)\n\nU(d int, a int)\n\n"
       "join(R, S, T, U)",
       "a:int b:int c:int d:int |1>0 skip 0|2>0 skip 0|3>0 0>1 skip 0 1"},
      {"R(a int, b int)\n\njoin(R, R, R)", "a:int b:int |0>0 1>1 skip 0 1|0>0 1>1 skip 0 1"},
      {"R(a int)\n\nS(b int)\n\nT(b int, a int)\n\njoin(R, S, T)",
       "a:int b:int |xskip|1>0 0>1 skip 0 1"},
  };
  for (const auto& c : cases) {
    scriptStruct script = readScript(c.script);
    std::vector<int32_t> tables = findTables(script.joinVec, script.mainVec, kSeed);
    EXPECT_EQ(c.plan, dumpPlan(planJoin(script.mainVec, tables, kSeed))) << c.script;
  }
}

TEST(PrepareJoin, StepsWithTheSameRelationAndKeyShareAnIndex) {
  scriptStruct script = readScript("R(a int)\n1\n\nS(b int)\n2\n\njoin(R, R, S, R, R)");
  workerPoolStruct solo(1);
  joinStruct join =
      prepareJoin(script.mainVec, findTables(script.joinVec, script.mainVec, kSeed), kSeed, solo);
  ASSERT_EQ(4u, join.stepIndexes.size());
  EXPECT_EQ(1u, join.indexes.size());
  EXPECT_EQ(join.stepIndexes[0], join.stepIndexes[2]);
  EXPECT_EQ(join.stepIndexes[0], join.stepIndexes[3]);
  EXPECT_EQ(nullptr, join.stepIndexes[1]);
}

// First matches of `keys`, looked up together; an empty key stands for a row lacking a value.
std::vector<matchStruct> firstMatchesOf(const rowIndexStruct& index, const mainStruct& relation,
                                        const std::vector<std::vector<std::string_view>>& keys) {
  keyBlockStruct block;
  resetKeys(block, index.positions.size(), keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    block.present[k] = keys[k].empty() ? 0 : 1;
    std::copy(keys[k].begin(), keys[k].end(), block.values.begin() + k * block.width);
  }
  std::vector<matchStruct> matches(keys.size());
  findFirstMatches(index, relation, block, matches);
  return matches;
}

// The rows of a key from its first match on, as far as the chain says more rows follow.
std::vector<uint32_t> chainOf(const rowIndexStruct& index, matchStruct match) {
  std::vector<uint32_t> rows;
  if (match.row == kNoRow) return rows;
  for (;;) {
    rows.push_back(match.row);
    if (!match.more) return rows;
    match = nextMatch(index, match.row);
  }
}

TEST(RowIndex, ChainsRowsOfOneKeyInRowOrder) {
  scriptStruct script = readScript("R(k int, v int)\n1, a\n2, b\n1, c\n3\n1, d\n2, e\n");
  const mainStruct& relation = script.mainVec[0];
  rowIndexStruct index = buildRowIndex(relation, {0}, kSeed);
  struct Case {
    std::string_view key;
    std::vector<uint32_t> rows;
  } cases[] = {{"1", {0, 2, 4}}, {"2", {1, 5}}, {"3", {3}}, {"4", {}}, {"", {}}};
  // Many more keys than are looked up at once, in every order, each answered on its own.
  std::vector<std::vector<std::string_view>> keys;
  for (size_t round = 0; round < 40; ++round) keys.push_back({cases[(round * 7) % 5].key});
  std::vector<matchStruct> firstRows = firstMatchesOf(index, relation, keys);
  ASSERT_EQ(keys.size(), firstRows.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    const Case& c = cases[(k * 7) % 5];
    EXPECT_EQ(c.rows, chainOf(index, firstRows[k])) << c.key;
  }
  // Row 3 holds no value at position 1, so it can match nothing there.
  rowIndexStruct second = buildRowIndex(relation, {1, 0}, kSeed);
  std::vector<matchStruct> some = firstMatchesOf(second, relation, {{"", "3"}, {"c", "1"}, {}});
  ASSERT_EQ(3u, some.size());
  EXPECT_EQ(std::vector<uint32_t>{}, chainOf(second, some[0]));
  EXPECT_EQ(std::vector<uint32_t>{2}, chainOf(second, some[1]));
  EXPECT_EQ(std::vector<uint32_t>{}, chainOf(second, some[2]));
}

TEST(RowIndex, WorkersChainTheSameRows) {
  // Enough rows for four workers to share, many of each key, and rows that lack a value.
  constexpr size_t kRows = 270000;
  constexpr size_t kKeys = 50000;
  std::string text = "R(k int, v int, w int)\n";
  for (size_t i = 0; i < kRows; ++i) {
    text.append(std::to_string(i * 7919 % kKeys));
    if (i % 101 != 0) {
      text.append(", ").append(std::to_string(i % 3)).append(", ").append(std::to_string(i));
    }
    text.append("\n");
  }
  scriptStruct script = readScript(text);
  const mainStruct& relation = script.mainVec[0];
  ASSERT_EQ(kRows, relation.rows.size());
  std::vector<std::string> numbers;
  for (size_t n = 0; n <= kRows; ++n) numbers.push_back(std::to_string(n));
  struct Case {
    std::vector<int32_t> positions;
    std::vector<std::vector<std::string_view>> keys;  // every key, and some that no row holds
  } cases[3];
  cases[0].positions = {0};
  cases[1].positions = {1, 0};
  // A key a row fills half the slots, so that some keys' walks leave their part.
  cases[2].positions = {2};
  for (size_t n = 0; n <= kKeys; ++n) {
    cases[0].keys.push_back({numbers[n]});
    for (size_t v = 0; v < 4; ++v) cases[1].keys.push_back({numbers[v], numbers[n]});
  }
  for (size_t i = 0; i <= kRows; ++i) cases[2].keys.push_back({numbers[i]});
  for (const Case& c : cases) {
    rowIndexStruct alone = buildRowIndex(relation, c.positions, kSeed);
    std::vector<matchStruct> expected = firstMatchesOf(alone, relation, c.keys);
    for (size_t workers : {2, 3, 4}) {
      // Another seed too: rows come in row order whatever hash they were placed by.
      workerPoolStruct pool(workers);
      rowIndexStruct shared = buildRowIndexShared(relation, c.positions, kSeed * workers, pool);
      EXPECT_EQ(alone.indexedRows, shared.indexedRows) << workers;
      std::vector<matchStruct> got = firstMatchesOf(shared, relation, c.keys);
      size_t differing = 0;
      for (size_t k = 0; k < c.keys.size(); ++k) {
        differing += chainOf(alone, expected[k]) != chainOf(shared, got[k]) ? 1 : 0;
      }
      EXPECT_EQ(0u, differing) << c.positions.size() << " values a key, " << workers << " workers";
    }
  }
}

// Every result row as its row numbers, level by level, cut into blocks of `blockRows`.
std::vector<std::vector<uint32_t>> resultRowsOf(const joinStruct& join, size_t blockRows) {
  std::vector<std::vector<uint32_t>> rows;
  forEachResultBlock(
      join,
      [&rows](const resultBlockStruct& block) {
        for (size_t k = 0; k < block.size; ++k) {
          rows.emplace_back();
          for (const std::vector<uint32_t>& column : block.rowIds) rows.back().push_back(column[k]);
        }
        return true;
      },
      blockRows);
  return rows;
}

// Long chains, Cartesian steps and a key drawn from two levels cross many block ends.
std::string manyBlocksScript(std::string_view firstRow) {
  std::string script = "R(a int, b int)\n";
  script.append(firstRow);
  for (int i = 0; i < 70; ++i)
    script += std::to_string(i % 4) + ", " + std::to_string(i % 3) + "\n";
  script += "\nS(b int, c int)\n";
  for (int i = 0; i < 50; ++i)
    script += std::to_string(i % 3) + ", " + std::to_string(i % 5) + "\n";
  script += "\nT(d int)\n1\n2\n3\n\nU(c int, a int)\n";
  for (int i = 0; i < 40; ++i)
    script += std::to_string(i % 5) + ", " + std::to_string(i % 4) + "\n";
  return script + "\njoin(R, S, T, U)\n";
}

TEST(ResultBlocks, BlockSizeChangesNothing) {
  // Rows of one length, and a first row whose extra value shifts where later values stand.
  for (std::string_view firstRow : {"", "1, 2, 9\n"}) {
    std::string script = manyBlocksScript(firstRow);
    scriptStruct parsed = readScript(script);
    workerPoolStruct solo(1);
    joinStruct join =
        prepareJoin(parsed.mainVec, findTables(parsed.joinVec, parsed.mainVec, kSeed), kSeed, solo);
    std::vector<std::vector<uint32_t>> whole = resultRowsOf(join, 1 << 16);
    ASSERT_GT(whole.size(), 1000u);
    for (size_t blockRows : {1, 2, 3, 7, 64, 1000}) {
      EXPECT_EQ(whole, resultRowsOf(join, blockRows)) << blockRows << " " << firstRow;
    }
  }
}

// The rows made from runs of the first relation's rows, one run after another.
std::vector<std::vector<uint32_t>> resultRowsByRuns(const joinStruct& join,
                                                    const std::vector<size_t>& cuts) {
  std::vector<std::vector<uint32_t>> rows;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    forEachResultBlockFrom(join, cuts[i], cuts[i + 1], [&rows](const resultBlockStruct& block) {
      for (size_t k = 0; k < block.size; ++k) {
        rows.emplace_back();
        for (const std::vector<uint32_t>& column : block.rowIds) rows.back().push_back(column[k]);
      }
      return true;
    });
  }
  return rows;
}

TEST(ResultBlocks, RunsOfFirstRowsFollowOneAnother) {
  for (std::string_view firstRow : {"", "1, 2, 9\n"}) {
    std::string script = manyBlocksScript(firstRow);
    scriptStruct parsed = readScript(script);
    workerPoolStruct solo(1);
    joinStruct join =
        prepareJoin(parsed.mainVec, findTables(parsed.joinVec, parsed.mainVec, kSeed), kSeed, solo);
    std::vector<std::vector<uint32_t>> whole = resultRowsOf(join, kResultBlockRows);
    size_t firstRows = relationOfLevel(join, 0).rows.size();
    std::vector<std::vector<size_t>> cutSets = {
        {0, firstRows},
        {0, 1, 2, 3, firstRows},
        {0, 0, 5, 5, 40, firstRows, firstRows + 10},
        {0, 17, 34, 51, 68, firstRows},
    };
    for (const std::vector<size_t>& cuts : cutSets) {
      EXPECT_EQ(whole, resultRowsByRuns(join, cuts)) << cuts.size() << " cuts " << firstRow;
    }
    EXPECT_TRUE(resultRowsByRuns(join, {firstRows, firstRows + 3}).empty());
  }
}

// Indexes built by several threads at once are the ones one thread builds.
TEST(PrepareJoin, WorkersBuildTheSameIndexes) {
  std::string script = manyBlocksScript("");
  scriptStruct parsed = readScript(script);
  std::vector<int32_t> tables = findTables(parsed.joinVec, parsed.mainVec, kSeed);
  workerPoolStruct solo(1);
  std::vector<std::vector<uint32_t>> alone =
      resultRowsOf(prepareJoin(parsed.mainVec, tables, kSeed, solo), 64);
  for (size_t workers : {2, 3, 8}) {
    workerPoolStruct pool(workers);
    EXPECT_EQ(alone, resultRowsOf(prepareJoin(parsed.mainVec, tables, kSeed + workers, pool), 64))
        << workers;
  }
}

TEST(ResultBlocks, TakerThatStopsIsNotCalledAgain) {
  std::string script = manyBlocksScript("");
  scriptStruct parsed = readScript(script);
  workerPoolStruct solo(1);
  joinStruct join =
      prepareJoin(parsed.mainVec, findTables(parsed.joinVec, parsed.mainVec, kSeed), kSeed, solo);
  size_t calls = 0;
  forEachResultBlock(
      join, [&calls](const resultBlockStruct&) { return ++calls < 3; }, 5);
  EXPECT_EQ(3u, calls);
}

}  // namespace
