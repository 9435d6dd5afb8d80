#include "join/row_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "relations/items.h"
#include "relations/reader.h"
#include "util/worker_pool.h"

namespace {

// Any seed gives the same rows; tests that build one index take this one.
constexpr uint64_t kSeed = 0x5EED;

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

// Keys are looked up a group at a time, each stage of a lookup some groups behind the one
// before it: counts about those group ends must answer every key, the last ones too.
TEST(FindFirstMatches, AnswersEveryKeyWhateverTheirCount) {
  // Values 0 to 49, each in two rows; row 7 lacks its value.
  std::string text = "R(k t, v t)\n";
  for (size_t row = 0; row < 100; ++row) {
    text += row == 7 ? "x\n" : "x, " + std::to_string(row % 50) + "\n";
  }
  scriptStruct script = readScript(text);
  const mainStruct& relation = script.mainVec[0];
  rowIndexStruct index = buildRowIndex(relation, {1}, kSeed);
  std::vector<std::string> values;
  for (size_t n = 0; n < 80; ++n) values.push_back(std::to_string(n));
  for (size_t count : {0, 1, 11, 12, 13, 35, 36, 37, 48, 49, 200}) {
    keyBlockStruct keys;
    resetKeys(keys, 1, count);
    // Every seventh key is missing; keys from 50 on match no row.
    for (size_t k = 0; k < count; ++k) {
      keys.present[k] = k % 7 == 3 ? 0 : 1;
      keys.values[k] = values[(k * 13) % values.size()];
    }
    std::vector<matchStruct> matches(count);
    findFirstMatches(index, relation, keys, matches);
    for (size_t k = 0; k < count; ++k) {
      uint32_t expected = kNoRow;
      std::string_view value;
      for (size_t row = 0; keys.present[k] && row < relation.rows.size(); ++row) {
        if (itemAt(relation.rows[row], 1, value) && value == keys.values[k]) {
          expected = static_cast<uint32_t>(row);
          break;
        }
      }
      EXPECT_EQ(expected, matches[k].row) << count << " keys, key " << k;
      EXPECT_EQ(expected != kNoRow && expected != 57, matches[k].more)
          << count << " keys, key " << k;
    }
  }
}

}  // namespace
