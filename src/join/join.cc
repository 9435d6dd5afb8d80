#include "join/join.h"

#include <algorithm>
#include <map>
#include <utility>

#include "relations/prefetch.h"

namespace {

// Where a compared value of the result row comes from: an item of the row at a level.
struct valueSourceStruct {
  size_t level = 0;
  size_t item = 0;
};

// How a natural step finds the key of a result row made so far.
struct keyPlanStruct {
  // With rows of one length at every level before the step, each compared value sits at one
  // level and item for all result rows; otherwise the row's values are laid out one by one.
  bool fixed = false;
  bool neverPresent = false;  // a compared position lies past every result row's values
  std::vector<valueSourceStruct> sources;
};

// The rows of one level made so far: each extends a row of the block above, named by its
// index there, by one row of the level's relation.
struct levelBlockStruct {
  std::vector<uint32_t> above;
  std::vector<uint32_t> rows;
  // The first relation's row of each, at hand: keys of a long join list often come from it.
  std::vector<uint32_t> firstLevelRows;
  size_t size = 0;
  // Where the extension of the block above stands: at its row `nextAbove`, whose next row at
  // this level is `candidate` (kNoRow once it has none left).
  size_t nextAbove = 0;
  uint32_t candidate = kNoRow;
  bool candidateIsFirst = false;
  std::vector<firstMatchStruct> matches;  // of each row of the block above
};

struct walkStruct {
  const joinStruct* join = nullptr;
  size_t blockRows = 0;
  std::vector<levelBlockStruct> levels;
  std::vector<keyPlanStruct> keyPlans;  // per level
  keyBlockStruct keys;
  std::vector<std::string_view> values;
  std::vector<uint32_t> rowIds;
  resultBlockStruct result;
};

bool isNatural(const joinStruct& join, size_t level) {
  return level > 0 && join.stepIndexes[level - 1] != nullptr;
}

// `layout` tells where each value of the result rows made so far comes from, as far as keys
// need; `fixed` is false when their length varies.
keyPlanStruct planKeys(const stepStruct& step, const std::vector<valueSourceStruct>& layout,
                       bool fixed) {
  keyPlanStruct keys;
  keys.fixed = fixed;
  if (!fixed) return keys;
  for (int32_t position : step.leftPositions) {
    if (static_cast<size_t>(position) >= layout.size()) {
      keys.neverPresent = true;
      return keys;
    }
    keys.sources.push_back(layout[static_cast<size_t>(position)]);
  }
  return keys;
}

// Adds where the values that `level` gives a result row come from, as far as `needed` values.
void layOutLevel(const joinStruct& join, size_t level, size_t needed,
                 std::vector<valueSourceStruct>& layout) {
  const std::vector<int32_t>* skipped =
      level == 0 ? nullptr : &join.plan.steps[level - 1].skippedPositions;
  size_t skip = 0;
  for (size_t item = 0; item < join.levelItems[level] && layout.size() < needed; ++item) {
    if (skipped != nullptr && skip < skipped->size() &&
        static_cast<size_t>((*skipped)[skip]) == item) {
      ++skip;
      continue;
    }
    layout.push_back({level, item});
  }
}

// Plans the keys of every natural step, walking the levels once.
std::vector<keyPlanStruct> planAllKeys(const joinStruct& join) {
  size_t needed = 0;
  for (const stepStruct& step : join.plan.steps) {
    for (int32_t position : step.leftPositions) {
      needed = std::max(needed, static_cast<size_t>(position) + 1);
    }
  }
  std::vector<keyPlanStruct> plans(join.levelItems.size());
  std::vector<valueSourceStruct> layout;
  bool fixed = true;
  for (size_t level = 0; level < join.levelItems.size(); ++level) {
    if (isNatural(join, level)) plans[level] = planKeys(join.plan.steps[level - 1], layout, fixed);
    fixed = fixed && join.levelItems[level] > 0;
    if (fixed) layOutLevel(join, level, needed, layout);
  }
  return plans;
}

// The row number at `level` of row k of the block of `from`, a level at or below it.
uint32_t rowIdAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  if (level == 0) return walk.levels[from].firstLevelRows[k];
  for (; from > level; --from) k = walk.levels[from].above[k];
  return walk.levels[level].rows[k];
}

std::string_view rowAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  return relationOfLevel(*walk.join, level).rows[rowIdAt(walk, from, k, level)];
}

// The values of row k of the block of `from` laid out one by one, as far as `needed` values.
void layOutValues(walkStruct& walk, size_t from, size_t k, size_t needed) {
  std::vector<std::string_view>& values = walk.values;
  values.clear();
  auto keep = [&values, needed](std::string_view value) {
    values.push_back(value);
    return values.size() < needed;
  };
  // The row numbers are found from the deepest level up, once.
  std::vector<uint32_t>& rowIds = walk.rowIds;
  rowIds.resize(from + 1);
  for (size_t level = from;; --level) {
    rowIds[level] = walk.levels[level].rows[k];
    if (level == 0) break;
    k = walk.levels[level].above[k];
  }
  for (size_t level = 0; level <= from && values.size() < needed; ++level) {
    std::string_view row = relationOfLevel(*walk.join, level).rows[rowIds[level]];
    if (level == 0) {
      forEachItem(row, keep);
    } else {
      forEachCopiedValue(walk.join->plan.steps[level - 1], row, keep);
    }
  }
}

// The keys that the rows of the block above `level` look up at `level`.
void takeKeys(walkStruct& walk, size_t level) {
  const keyPlanStruct& plan = walk.keyPlans[level];
  const std::vector<int32_t>& positions = walk.join->plan.steps[level - 1].leftPositions;
  size_t width = positions.size();
  size_t count = walk.levels[level - 1].size;
  resetKeys(walk.keys, width, count);
  if (plan.neverPresent) {
    // A missing value equals nothing, not even another missing value.
    std::fill(walk.keys.present.begin(), walk.keys.present.end(), 0);
    return;
  }
  size_t needed = static_cast<size_t>(*std::max_element(positions.begin(), positions.end())) + 1;
  for (size_t k = 0; k < count; ++k) {
    std::string_view* key = &walk.keys.values[k * width];
    bool present = true;
    if (plan.fixed) {
      for (size_t i = 0; i < width && present; ++i) {
        const valueSourceStruct& source = plan.sources[i];
        present = itemAt(rowAt(walk, level - 1, k, source.level), source.item, key[i]);
      }
    } else {
      layOutValues(walk, level - 1, k, needed);
      for (size_t i = 0; i < width && present; ++i) {
        size_t position = static_cast<size_t>(positions[i]);
        present = position < walk.values.size();
        if (present) key[i] = walk.values[position];
      }
    }
    walk.keys.present[k] = present ? 1 : 0;
  }
}

// Points the candidate of `level` at the first row that extends row k of the block above.
void startAbove(walkStruct& walk, size_t level, size_t k) {
  levelBlockStruct& block = walk.levels[level];
  block.nextAbove = k;
  if (k >= walk.levels[level - 1].size) return;
  if (isNatural(*walk.join, level)) {
    block.candidate = block.matches[k].row;
    block.candidateIsFirst = true;
  } else {
    block.candidate = 0;  // a relation without rows leaves the whole result empty
  }
}

// Readies `level` to extend the block above it, which has just been filled.
void openLevel(walkStruct& walk, size_t level) {
  const joinStruct& join = *walk.join;
  levelBlockStruct& block = walk.levels[level];
  block.size = 0;
  if (isNatural(join, level)) {
    takeKeys(walk, level);
    findFirstMatches(*join.stepIndexes[level - 1], relationOfLevel(join, level), walk.keys,
                     block.matches);
  }
  startAbove(walk, level, 0);
}

bool levelIsSpent(const walkStruct& walk, size_t level) {
  return walk.levels[level].nextAbove >= walk.levels[level - 1].size;
}

// Adds rows to the block of `level` until it is full or the block above is spent.
void fillLevel(walkStruct& walk, size_t level) {
  const joinStruct& join = *walk.join;
  levelBlockStruct& block = walk.levels[level];
  const rowIndexStruct* index = join.stepIndexes[level - 1];
  auto relationRows = static_cast<uint32_t>(relationOfLevel(join, level).rows.size());
  while (block.size < walk.blockRows && !levelIsSpent(walk, level)) {
    uint32_t row = block.candidate;
    if (row == kNoRow) {
      startAbove(walk, level, block.nextAbove + 1);
      continue;
    }
    block.above[block.size] = static_cast<uint32_t>(block.nextAbove);
    block.rows[block.size] = row;
    block.firstLevelRows[block.size] = walk.levels[level - 1].firstLevelRows[block.nextAbove];
    ++block.size;
    if (index == nullptr) {
      block.candidate = row + 1 < relationRows ? row + 1 : kNoRow;
    } else if (block.candidateIsFirst && !block.matches[block.nextAbove].more) {
      block.candidate = kNoRow;
    } else {
      block.candidate = nextMatch(*index, row);
    }
    block.candidateIsFirst = false;
  }
}

// The rows of the last level's block with every level's row number, for the taker.
const resultBlockStruct& resultOfLastLevel(walkStruct& walk) {
  size_t last = walk.levels.size() - 1;
  resultBlockStruct& result = walk.result;
  result.size = walk.levels[last].size;
  for (size_t k = 0; k < result.size; ++k) {
    size_t at = k;
    for (size_t level = last;; --level) {
      result.rowIds[level][k] = walk.levels[level].rows[at];
      if (level == 0) break;
      at = walk.levels[level].above[at];
    }
  }
  return result;
}

// A long join list must not cost blocks of every level at full size.
constexpr size_t kBlockEntries = size_t{1} << 20;

}  // namespace

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables) {
  joinStruct join;
  join.mainVec = &mainVec;
  join.plan = planJoin(mainVec, tables);
  std::map<std::pair<int32_t, std::vector<int32_t>>, const rowIndexStruct*> built;
  for (const stepStruct& step : join.plan.steps) {
    if (step.rightPositions.empty()) {
      join.stepIndexes.push_back(nullptr);
      continue;
    }
    auto cached = built.try_emplace({step.table, step.rightPositions}, nullptr);
    if (cached.second) {
      join.indexes.push_back(
          buildRowIndex(mainVec[static_cast<size_t>(step.table)], step.rightPositions));
      cached.first->second = &join.indexes.back();
    }
    join.stepIndexes.push_back(cached.first->second);
  }
  for (size_t level = 0; level <= join.plan.steps.size(); ++level) {
    int32_t table = level == 0 ? join.plan.firstTable : join.plan.steps[level - 1].table;
    const mainStruct& relation = mainVec[static_cast<size_t>(table)];
    join.levelRelations.push_back(&relation);
    join.levelItems.push_back(relation.rowItems);
    const rowIndexStruct* index = level == 0 ? nullptr : join.stepIndexes[level - 1];
    if (relation.rows.empty() || (index != nullptr && index->indexedRows == 0)) {
      join.resultIsEmpty = true;
    }
  }
  return join;
}

void forEachResultBlock(const joinStruct& join,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows) {
  if (join.resultIsEmpty) return;
  size_t levelCount = join.plan.steps.size() + 1;
  size_t last = levelCount - 1;
  walkStruct walk;
  walk.join = &join;
  walk.blockRows =
      std::clamp<size_t>(blockRows, 1, std::max<size_t>(kBlockEntries / levelCount, 1));
  walk.levels.resize(levelCount);
  for (levelBlockStruct& block : walk.levels) {
    block.above.resize(walk.blockRows);
    block.rows.resize(walk.blockRows);
    block.firstLevelRows.resize(walk.blockRows);
  }
  walk.result.rowIds.assign(levelCount, std::vector<uint32_t>(walk.blockRows));
  walk.keyPlans = planAllKeys(join);
  // Depth first over blocks: a block is extended level by level to the last, handed over,
  // and only then is the level above it filled further, so rows come out in the fold's order.
  size_t firstRelationRows = relationOfLevel(join, 0).rows.size();
  size_t nextFirst = 0;
  size_t level = 0;
  for (;;) {
    levelBlockStruct& block = walk.levels[level];
    if (level == 0) {
      if (nextFirst == firstRelationRows) return;
      block.size = std::min(walk.blockRows, firstRelationRows - nextFirst);
      for (size_t k = 0; k < block.size; ++k) block.rows[k] = static_cast<uint32_t>(nextFirst + k);
      block.firstLevelRows = block.rows;
      nextFirst += block.size;
      openLevel(walk, ++level);
      continue;
    }
    fillLevel(walk, level);
    bool spent = levelIsSpent(walk, level);
    if (block.size > 0 && (block.size == walk.blockRows || spent)) {
      if (level < last) {
        openLevel(walk, ++level);
        continue;
      }
      if (!take(resultOfLastLevel(walk))) return;
      block.size = 0;
    }
    if (spent) {
      // The block above has been extended all the way down: it is done with.
      walk.levels[--level].size = 0;
    }
  }
}
