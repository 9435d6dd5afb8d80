#include "join/join.h"

#include <gtest/gtest.h>

#include <string>

#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/worker_pool.h"

namespace {

// Any seed gives the same rows; tests that build one index take this one.
constexpr uint64_t kSeed = 0x5EED;

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
