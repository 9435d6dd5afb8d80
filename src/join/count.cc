#include "join/count.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "join/row_index.h"
#include "relations/items.h"

namespace {

bool mayBeRagged(const joinStruct& join) {
  return std::any_of(join.levelItems.begin(), join.levelItems.end(),
                     [](size_t items) { return items == 0; });
}

// The values a row of the relation at `level` gives a result row.
size_t valuesOfRow(const joinStruct& join, size_t level, std::string_view row) {
  size_t items = countItems(row);
  return level == 0 ? items : copiedValueCount(join.plan.steps[level - 1], items);
}

// The first level of the Cartesian products that end the join list; the number of levels
// when the list ends in a natural join.
size_t firstTailLevel(const joinStruct& join) {
  size_t level = join.levelRelations.size();
  while (level > 1 && join.stepIndexes[level - 2] == nullptr) --level;
  return level;
}

// The first of the rows of the relation at `level` that give the most values.
size_t firstLongestRow(const joinStruct& join, size_t level) {
  // Rows of one length are all the longest.
  if (join.levelItems[level] > 0) return 0;
  const rowVec& rows = relationOfLevel(join, level).rows;
  size_t longest = 0;
  size_t first = 0;
  for (size_t row = 0; row < rows.size(); ++row) {
    size_t values = valuesOfRow(join, level, rows[row]);
    if (values > longest) {
      longest = values;
      first = row;
    }
  }
  return first;
}

// The combinations of one row of each trailing Cartesian level, in the order they come out:
// how many, and the rank of the first of those with the most values, which takes the longest
// row of each level.
struct tailStruct {
  bigCountStruct rows = bigCountOf(1);
  bigCountStruct firstLongest;
};

tailStruct measureTail(const joinStruct& join, size_t firstLevel, bool ragged) {
  tailStruct tail;
  // From the last level up: the rows of the levels below a level give the weight of its rank.
  for (size_t level = join.levelRelations.size(); level-- > firstLevel;) {
    if (ragged) {
      bigCountStruct rank = tail.rows;
      multiplyBy(rank, firstLongestRow(join, level));
      addTo(tail.firstLongest, rank);
    }
    multiplyBy(tail.rows, relationOfLevel(join, level).rows.size());
  }
  return tail;
}

// The rows made up to the trailing products, counted in their order, and the first of them
// with the most values.
struct tallyStruct {
  bool ragged = false;
  bigCountStruct rows;
  uint64_t pendingRows = 0;  // added to `rows` only when it would overflow, for speed
  size_t longest = 0;
  bigCountStruct firstLongest;
};

bigCountStruct rowsSoFar(const tallyStruct& tally) {
  bigCountStruct rows = tally.rows;
  addTo(rows, tally.pendingRows);
  return rows;
}

// Counts `rows` rows that follow the rows counted so far, of which the one at `longestAt`
// is the first with the most values, `longest`.
void tallyRows(tallyStruct& tally, uint64_t rows, size_t longest, uint64_t longestAt) {
  if (rows == 0) return;
  if (tally.ragged && longest > tally.longest) {
    tally.longest = longest;
    tally.firstLongest = rowsSoFar(tally);
    addTo(tally.firstLongest, longestAt);
  }
  if (rows > UINT64_MAX - tally.pendingRows) {
    addTo(tally.rows, tally.pendingRows);
    tally.pendingRows = 0;
  }
  tally.pendingRows += rows;
}

// Of the rows of one key at the natural level, where the first of those that give the most
// values stands among them.
struct keyLongestStruct {
  size_t longest = 0;
  uint32_t at = 0;
};

struct keyCounterStruct {
  const joinStruct* join = nullptr;
  size_t level = 0;  // the natural level
  bool ragged = false;
  // Each key once, at its first row: the rows of a key are counted the first time it is met.
  std::vector<uint32_t> keyRows;                 // 0 while not yet counted
  std::vector<keyLongestStruct> keyLongestRows;  // only where rows vary in length
  keyBlockStruct keys;
  std::vector<matchStruct> matches;
  std::vector<std::string_view> values;
};

// Counts the rows of the key whose first row is `first`, unless they are counted already.
void countKeyRows(keyCounterStruct& counter, matchStruct first) {
  uint32_t& rowCount = counter.keyRows[first.row];
  if (rowCount > 0) return;
  const rowIndexStruct& index = *counter.join->stepIndexes[counter.level - 1];
  const rowVec& rows = relationOfLevel(*counter.join, counter.level).rows;
  for (matchStruct match = first;; match = nextMatch(index, match.row)) {
    if (counter.ragged) {
      keyLongestStruct& longest = counter.keyLongestRows[first.row];
      size_t values = valuesOfRow(*counter.join, counter.level, rows[match.row]);
      if (values > longest.longest) longest = {values, rowCount};
    }
    ++rowCount;
    if (!match.more) return;
  }
}

// The first `needed` values of prefix row k of `block`, fewer when it holds fewer.
void layOutValues(keyCounterStruct& counter, const resultBlockStruct& block, size_t k,
                  size_t needed) {
  const joinStruct& join = *counter.join;
  std::vector<std::string_view>& values = counter.values;
  values.clear();
  auto keep = [&values, needed](std::string_view value) {
    if (values.size() < needed) values.push_back(value);
    return values.size() < needed;
  };
  for (size_t level = 0; level < block.rowIds.size() && values.size() < needed; ++level) {
    std::string_view row = rowOf(join, block, level, k);
    if (level == 0) {
      forEachItem(row, keep);
    } else {
      forEachCopiedValue(join.plan.steps[level - 1], row, keep);
    }
  }
}

// The keys that the prefix rows of `block` look up at the natural level.
void takeKeys(keyCounterStruct& counter, const resultBlockStruct& block) {
  const std::vector<int32_t>& positions = counter.join->plan.steps[counter.level - 1].leftPositions;
  size_t width = positions.size();
  resetKeys(counter.keys, width, block.size);
  size_t needed = valuesNeeded(positions);
  for (size_t k = 0; k < block.size; ++k) {
    layOutValues(counter, block, k, needed);
    bool present = true;
    for (size_t i = 0; i < width && present; ++i) {
      auto position = static_cast<size_t>(positions[i]);
      // A missing value equals nothing, not even another missing value.
      present = position < counter.values.size();
      if (present) counter.keys.values[k * width + i] = counter.values[position];
    }
    counter.keys.present[k] = present ? 1 : 0;
  }
}

size_t valuesOfPrefixRow(const joinStruct& join, const resultBlockStruct& block, size_t k) {
  size_t values = 0;
  for (size_t level = 0; level < block.rowIds.size(); ++level) {
    values += valuesOfRow(join, level, rowOf(join, block, level, k));
  }
  return values;
}

void tallyBlock(keyCounterStruct& counter, tallyStruct& tally, const resultBlockStruct& block) {
  const joinStruct& join = *counter.join;
  takeKeys(counter, block);
  counter.matches.resize(block.size);
  findFirstMatches(*join.stepIndexes[counter.level - 1], relationOfLevel(join, counter.level),
                   counter.keys, std::span(counter.matches));
  for (size_t k = 0; k < block.size; ++k) {
    uint32_t first = counter.matches[k].row;
    if (first == kNoRow) continue;
    countKeyRows(counter, counter.matches[k]);
    if (!tally.ragged) {
      tallyRows(tally, counter.keyRows[first], 0, 0);
      continue;
    }
    const keyLongestStruct& longest = counter.keyLongestRows[first];
    tallyRows(tally, counter.keyRows[first], valuesOfPrefixRow(join, block, k) + longest.longest,
              longest.at);
  }
}

// Counts the rows of the levels before `tailLevel`: those of a last natural level by the rows
// of each key, the levels above it by walking them.
tallyStruct tallyUpTo(const joinStruct& join, size_t tailLevel) {
  tallyStruct tally;
  tally.ragged = mayBeRagged(join);
  if (tailLevel == 1) {
    const rowVec& rows = relationOfLevel(join, 0).rows;
    if (!tally.ragged) tallyRows(tally, rows.size(), 0, 0);
    for (size_t row = 0; tally.ragged && row < rows.size(); ++row) {
      tallyRows(tally, 1, valuesOfRow(join, 0, rows[row]), 0);
    }
    return tally;
  }
  keyCounterStruct counter;
  counter.join = &join;
  counter.level = tailLevel - 1;
  counter.ragged = tally.ragged;
  size_t levelRows = relationOfLevel(join, counter.level).rows.size();
  counter.keyRows.resize(levelRows);
  if (counter.ragged) counter.keyLongestRows.resize(levelRows);
  forEachPrefixBlock(join, counter.level, [&](const resultBlockStruct& block) {
    tallyBlock(counter, tally, block);
    return true;
  });
  return tally;
}

}  // namespace

resultCountStruct countResult(const joinStruct& join) {
  resultCountStruct count;
  if (join.resultIsEmpty) return count;
  size_t tailLevel = firstTailLevel(join);
  tallyStruct tally = tallyUpTo(join, tailLevel);
  bigCountStruct above = rowsSoFar(tally);
  // No row at all: nothing to trim, whatever the products would have ranked first.
  if (above.digits.empty()) return count;
  tailStruct tail = measureTail(join, tailLevel, tally.ragged);
  count.rows = productOf(above, tail.rows);
  if (tally.ragged) {
    count.trimmed = productOf(tally.firstLongest, tail.rows);
    addTo(count.trimmed, tail.firstLongest);
    subtractFrom(count.rows, count.trimmed);
  }
  return count;
}
