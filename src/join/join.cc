#include "join/join.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "relations/rows_in_turn.h"
#include "util/worker_pool.h"

namespace {

// Where a value of the result row comes from: an item of the row at a level.
struct valueSourceStruct {
  uint32_t level = 0;
  uint32_t item = 0;
};

// Where the keys of the natural steps are found in the result rows made so far. While every
// level above a step has rows of one length, a value of the result row sits at one level and
// item for all rows; after a level whose rows vary, values must be laid out one by one.
struct keyLayoutStruct {
  // Of each value of the result row, as far as a key reaches and while rows have one length.
  std::vector<valueSourceStruct> sources;
  std::vector<size_t> valuesAbove;  // per level: values its levels above give, if fixed
  std::vector<uint8_t> fixedAbove;  // per level: whether the levels above have rows of one length
};

// A long join list, or keys of many values, must not cost blocks of every level at full size:
// the row numbers of all levels' blocks, or the values of a block's keys, stay about this many.
constexpr size_t kBlockEntries = size_t{1} << 18;

// The rows of one level made so far: each extends a row of the block above, named by its
// index there, by one row of the level's relation.
struct levelBlockStruct {
  std::vector<uint32_t> above;
  std::vector<uint32_t> rows;
  // The first relation's row of each, at hand: keys of a long join list often come from it.
  std::vector<uint32_t> firstLevelRows;
  // Of each, the index of the row it extends at the level that jumpLevels names for this one
  // (level 0 names itself), so that a key from far up costs no walk past every level between.
  std::vector<uint32_t> jumps;
  // Of each, the values of the result row so far, counted as far as the walk's valueCap; kept
  // where rows vary in length, for keys whose values must be looked for level by level.
  std::vector<uint32_t> valuesThrough;
  size_t size = 0;
  // Where the extension of the block above stands: at its row `nextAbove`, whose next row at
  // this level is `candidate.row` (kNoRow once it has none left).
  size_t nextAbove = 0;
  matchStruct candidate;
  std::vector<matchStruct> matches;  // of each row of the block above
};

struct walkStruct {
  const joinStruct* join = nullptr;
  size_t blockRows = 0;
  std::vector<levelBlockStruct> levels;
  keyLayoutStruct keyLayout;
  keyBlockStruct keys;
  std::vector<std::string_view> values;
  std::vector<uint32_t> keyOrder;
  std::vector<uint32_t> keyLevels;   // the levels but the first whose rows hold a key's values
  std::vector<uint32_t> jumpLevels;  // per level
  // The levels whose rows count their values, for the keys laid out level by level, and how
  // far those keys reach.
  size_t countedLevels = 0;
  size_t valueCap = 0;
  resultBlockStruct result;
};

bool isNatural(const joinStruct& join, size_t level) {
  return level > 0 && join.stepIndexes[level - 1] != nullptr;
}

keyLayoutStruct layOutKeys(const joinStruct& join) {
  size_t needed = 0;
  for (const stepStruct& step : join.plan.steps) {
    if (!step.leftPositions.empty()) needed = std::max(needed, valuesNeeded(step.leftPositions));
  }
  keyLayoutStruct layout;
  bool fixed = true;
  size_t values = 0;
  for (size_t level = 0; level < join.levelItems.size(); ++level) {
    layout.valuesAbove.push_back(values);
    layout.fixedAbove.push_back(fixed ? 1 : 0);
    fixed = fixed && join.levelItems[level] > 0;
    if (!fixed) continue;
    std::vector<int32_t> noneSkipped;
    const std::vector<int32_t>& skipped =
        level == 0 ? noneSkipped : join.plan.steps[level - 1].skippedPositions;
    size_t items = join.levelItems[level];
    size_t skip = 0;
    for (size_t item = 0; item < items && values < needed; ++item) {
      if (skip < skipped.size() && static_cast<size_t>(skipped[skip]) == item) {
        ++skip;
        continue;
      }
      layout.sources.push_back({static_cast<uint32_t>(level), static_cast<uint32_t>(item)});
      ++values;
    }
    // Past the last compared value only the count matters.
    values = layout.valuesAbove[level] +
             (level == 0 ? items : copiedValueCount(join.plan.steps[level - 1], items));
  }
  return layout;
}

// Skew-binary jumps, which depend on a level's depth alone: a level jumps to the one above it
// or, where that level's jump and its jump's jump span as many levels, past both. Any level
// above is then a number of jumps away that grows with the logarithm of the distance.
std::vector<uint32_t> jumpLevelsOf(size_t levelCount) {
  std::vector<uint32_t> jumpLevels(levelCount, 0);
  for (size_t level = 2; level < levelCount; ++level) {
    auto parent = static_cast<uint32_t>(level - 1);
    uint32_t once = jumpLevels[parent];
    uint32_t twice = jumpLevels[once];
    jumpLevels[level] = parent - once == once - twice ? twice : parent;
  }
  return jumpLevels;
}

// The index in the block of `level` of the row that row k of the block of `from` extends
// there; `level` is at or above `from`.
size_t indexAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  while (from > level) {
    size_t target = walk.jumpLevels[from];
    if (target >= level) {
      k = walk.levels[from].jumps[k];
      from = target;
    } else {
      k = walk.levels[from].above[k];
      --from;
    }
  }
  return k;
}

// The row number at `level` of row k of the block of `from`, a level at or below it.
uint32_t rowIdAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  if (level == 0) return walk.levels[from].firstLevelRows[k];
  return walk.levels[level].rows[indexAt(walk, from, k, level)];
}

// Calls visit(level, row number) for row k of the block of `from` and each row it extends,
// from `from` up to level 0.
template <typename Visit>
void forEachRowUp(const walkStruct& walk, size_t from, size_t k, Visit&& visit) {
  for (size_t level = from;; --level) {
    visit(level, walk.levels[level].rows[k]);
    if (level == 0) return;
    k = walk.levels[level].above[k];
  }
}

std::string_view rowAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  return relationOfLevel(*walk.join, level).rows[rowIdAt(walk, from, k, level)];
}

// The first level of row k of the block of `from` whose count of values passes `position`,
// which that of `from` must do, and the row's index in that level's block: the level that
// holds the result row's value at `position`. Counts only grow downwards, so a jump that
// still passes skips no better level.
std::pair<size_t, size_t> levelHolding(const walkStruct& walk, size_t from, size_t k,
                                       size_t position) {
  auto passes = [&](size_t level, size_t index) {
    return walk.levels[level].valuesThrough[index] > position;
  };
  while (from > 0) {
    const levelBlockStruct& block = walk.levels[from];
    size_t target = walk.jumpLevels[from];
    if (target + 1 < from && passes(target, block.jumps[k])) {
      k = block.jumps[k];
      from = target;
    } else if (passes(from - 1, block.above[k])) {
      k = block.above[k];
      --from;
    } else {
      break;
    }
  }
  return {from, k};
}

// The values that row `row` of `level` adds to the result row, counted as far as `limit`.
size_t valuesAddedUpTo(const walkStruct& walk, size_t level, uint32_t row, size_t limit) {
  const joinStruct& join = *walk.join;
  size_t items = join.levelItems[level];
  const std::vector<int32_t>* skipped =
      level == 0 ? nullptr : &join.plan.steps[level - 1].skippedPositions;
  if (items == 0) {
    // Past `limit` values and the skipped items no item counts.
    size_t most = limit + (skipped == nullptr ? 0 : skipped->size());
    forEachItem(relationOfLevel(join, level).rows[row],
                [&items, most](std::string_view /*item*/) { return ++items < most; });
  }
  return skipped == nullptr ? items : copiedValueCount(join.plan.steps[level - 1], items);
}

// Replaces walk.values by the first `limit` values that row `row` of `level` adds to the
// result row.
void splitAddedValues(walkStruct& walk, size_t level, uint32_t row, size_t limit) {
  std::string_view text = relationOfLevel(*walk.join, level).rows[row];
  std::vector<std::string_view>& values = walk.values;
  if (level == 0) {
    splitItems(text, values, limit);
    return;
  }
  values.clear();
  forEachCopiedValue(walk.join->plan.steps[level - 1], text, [&values, limit](std::string_view v) {
    values.push_back(v);
    return values.size() < limit;
  });
}

// Fills the first level's block with the first relation's rows from `firstRow` on.
void startFirstLevel(walkStruct& walk, size_t firstRow, size_t count) {
  levelBlockStruct& block = walk.levels[0];
  block.size = count;
  for (size_t k = 0; k < count; ++k) {
    block.rows[k] = static_cast<uint32_t>(firstRow + k);
    block.jumps[k] = static_cast<uint32_t>(k);
  }
  block.firstLevelRows = block.rows;
  if (walk.countedLevels == 0) return;
  for (size_t k = 0; k < count; ++k) {
    block.valuesThrough[k] = static_cast<uint32_t>(
        std::min(walk.valueCap, valuesAddedUpTo(walk, 0, block.rows[k], walk.valueCap)));
  }
}

// Fills in what rows [first, size) of the block of `level` carry down from the rows they
// extend.
void extendCarried(walkStruct& walk, size_t level, size_t first) {
  levelBlockStruct& block = walk.levels[level];
  const levelBlockStruct& parent = walk.levels[level - 1];
  bool jumpsToParent = walk.jumpLevels[level] + 1 == level;
  const levelBlockStruct& parentTarget = walk.levels[walk.jumpLevels[level - 1]];
  for (size_t k = first; k < block.size; ++k) {
    uint32_t above = block.above[k];
    block.firstLevelRows[k] = parent.firstLevelRows[above];
    block.jumps[k] = jumpsToParent ? above : parentTarget.jumps[parent.jumps[above]];
  }
  if (level >= walk.countedLevels) return;
  size_t cap = walk.valueCap;
  for (size_t k = first; k < block.size; ++k) {
    size_t before = parent.valuesThrough[block.above[k]];
    size_t through =
        before >= cap ? cap : before + valuesAddedUpTo(walk, level, block.rows[k], cap - before);
    block.valuesThrough[k] = static_cast<uint32_t>(std::min(through, cap));
  }
}

// Calls use(k) for k from 0 to count - 1, having asked for the rows at `levels` of the later
// rows first + k of the block of `from`.
template <typename Use>
void useRowsAt(const walkStruct& walk, size_t from, size_t first, size_t count,
               std::span<const uint32_t> levels, Use&& use) {
  auto forEachRow = [&](size_t k, auto&& visit) {
    for (uint32_t level : levels) {
      visit(relationOfLevel(*walk.join, level).rows, rowIdAt(walk, from, first + k, level));
    }
  };
  useRowsInTurn(count, forEachRow, use);
}

// takeKeys where every value of a key sits at a known level and item. The values are taken
// level by level, each row cut once as far as its last value needed.
void takeFixedKeys(walkStruct& walk, size_t level, size_t first, size_t count) {
  const std::vector<valueSourceStruct>& sources = walk.keyLayout.sources;
  const std::vector<int32_t>& positions = walk.join->plan.steps[level - 1].leftPositions;
  size_t width = positions.size();
  auto sourceOf = [&](size_t i) -> const valueSourceStruct& {
    return sources[static_cast<size_t>(positions[i])];
  };
  if (width == 1) {
    // The usual key of one value needs no grouping by level.
    const valueSourceStruct& source = sourceOf(0);
    // The first relation's rows are read in order, which the processor foresees.
    std::span<const uint32_t> levels(&source.level, source.level == 0 ? 0 : 1);
    useRowsAt(walk, level - 1, first, count, levels, [&](size_t k) {
      std::string_view row = rowAt(walk, level - 1, first + k, source.level);
      walk.keys.present[k] = itemAt(row, source.item, walk.keys.values[k]) ? 1 : 0;
    });
    return;
  }
  std::vector<uint32_t>& order = walk.keyOrder;
  order.resize(width);
  for (size_t i = 0; i < width; ++i) order[i] = static_cast<uint32_t>(i);
  auto before = [&](uint32_t a, uint32_t b) {
    const valueSourceStruct& x = sourceOf(a);
    const valueSourceStruct& y = sourceOf(b);
    return x.level != y.level ? x.level < y.level : x.item < y.item;
  };
  // Keys mostly name their values in the order they stand; a block then costs no sort.
  if (!std::is_sorted(order.begin(), order.end(), before)) {
    std::sort(order.begin(), order.end(), before);
  }
  std::vector<uint32_t>& levels = walk.keyLevels;
  levels.clear();
  for (size_t i = 0; i < width; ++i) {
    uint32_t rowLevel = sourceOf(order[i]).level;
    if (rowLevel != 0 && (levels.empty() || levels.back() != rowLevel)) levels.push_back(rowLevel);
  }
  useRowsAt(walk, level - 1, first, count, levels, [&](size_t k) {
    std::string_view* key = &walk.keys.values[k * width];
    bool present = true;
    for (size_t group = 0; group < width && present;) {
      const valueSourceStruct& head = sourceOf(order[group]);
      size_t end = group + 1;
      while (end < width && sourceOf(order[end]).level == head.level) ++end;
      std::string_view row = rowAt(walk, level - 1, first + k, head.level);
      if (end - group == 1) {
        present = itemAt(row, head.item, key[order[group]]);
      } else {
        splitItems(row, walk.values, sourceOf(order[end - 1]).item + size_t{1});
        for (size_t i = group; i < end && present; ++i) {
          size_t item = sourceOf(order[i]).item;
          present = item < walk.values.size();
          if (present) key[order[i]] = walk.values[item];
        }
      }
      group = end;
    }
    walk.keys.present[k] = present ? 1 : 0;
  });
}

// Puts in `key` the values of row k of the block of `from` that the step below it compares;
// the row holds them all. Each is found at the level whose count of values first passes its
// position. The positions are taken in ascending order (walk.keyOrder), so that a level that
// holds several of them has its row split once.
void takeLaidOutKey(walkStruct& walk, size_t from, size_t k, std::string_view* key) {
  const std::vector<int32_t>& positions = walk.join->plan.steps[from].leftPositions;
  size_t valuesBefore = 0;
  size_t valuesThrough = 0;  // of the level whose values walk.values holds
  for (uint32_t i : walk.keyOrder) {
    auto position = static_cast<size_t>(positions[i]);
    if (position >= valuesThrough) {
      auto [holder, index] = levelHolding(walk, from, k, position);
      const levelBlockStruct& block = walk.levels[holder];
      valuesBefore = holder == 0 ? 0 : walk.levels[holder - 1].valuesThrough[block.above[index]];
      valuesThrough = block.valuesThrough[index];
      splitAddedValues(walk, holder, block.rows[index], valuesThrough - valuesBefore);
    }
    key[i] = walk.values[position - valuesBefore];
  }
}

// The keys that the rows of the block above `level` look up at `level`.
void takeKeys(walkStruct& walk, size_t level, size_t first, size_t count) {
  const keyLayoutStruct& layout = walk.keyLayout;
  const std::vector<int32_t>& positions = walk.join->plan.steps[level - 1].leftPositions;
  size_t width = positions.size();
  resetKeys(walk.keys, width, count);
  size_t needed = valuesNeeded(positions);
  bool fixed = layout.fixedAbove[level] != 0;
  if (fixed && needed > layout.valuesAbove[level]) {
    // A missing value equals nothing, not even another missing value.
    std::fill(walk.keys.present.begin(), walk.keys.present.end(), 0);
    return;
  }
  if (fixed) {
    takeFixedKeys(walk, level, first, count);
    return;
  }
  std::vector<uint32_t>& order = walk.keyOrder;
  order.resize(width);
  std::iota(order.begin(), order.end(), 0);
  auto before = [&positions](uint32_t a, uint32_t b) { return positions[a] < positions[b]; };
  if (!std::is_sorted(order.begin(), order.end(), before)) {
    std::sort(order.begin(), order.end(), before);
  }
  const levelBlockStruct& block = walk.levels[level - 1];
  for (size_t k = 0; k < count; ++k) {
    bool present = block.valuesThrough[first + k] >= needed;
    walk.keys.present[k] = present ? 1 : 0;
    if (present) takeLaidOutKey(walk, level - 1, first + k, &walk.keys.values[k * width]);
  }
}

// Points the candidate of `level` at the first row that extends row k of the block above.
void startAbove(walkStruct& walk, size_t level, size_t k) {
  levelBlockStruct& block = walk.levels[level];
  block.nextAbove = k;
  if (k >= walk.levels[level - 1].size) return;
  if (isNatural(*walk.join, level)) {
    block.candidate = block.matches[k];
  } else {
    // A relation without rows leaves the whole result empty, so row 0 is there.
    block.candidate = {0, relationOfLevel(*walk.join, level).rows.size() > 1};
  }
}

// Readies `level` to extend the block above it, which has just been filled.
void openLevel(walkStruct& walk, size_t level) {
  const joinStruct& join = *walk.join;
  levelBlockStruct& block = walk.levels[level];
  block.size = 0;
  if (isNatural(join, level)) {
    // Keys of many values are looked up a few rows at a time, so that they take no more room
    // than a block does.
    size_t rows = walk.levels[level - 1].size;
    size_t width = join.plan.steps[level - 1].leftPositions.size();
    size_t step = std::max<size_t>(kBlockEntries / width, 1);
    block.matches.resize(rows);
    for (size_t first = 0; first < rows; first += step) {
      size_t count = std::min(step, rows - first);
      takeKeys(walk, level, first, count);
      findFirstMatches(*join.stepIndexes[level - 1], relationOfLevel(join, level), walk.keys,
                       std::span(block.matches).subspan(first, count));
    }
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
  size_t relationRows = relationOfLevel(join, level).rows.size();
  size_t first = block.size;
  while (block.size < walk.blockRows && !levelIsSpent(walk, level)) {
    uint32_t row = block.candidate.row;
    if (row == kNoRow) {
      startAbove(walk, level, block.nextAbove + 1);
      continue;
    }
    block.above[block.size] = static_cast<uint32_t>(block.nextAbove);
    block.rows[block.size] = row;
    ++block.size;
    if (!block.candidate.more) {
      block.candidate = {};
    } else if (index == nullptr) {
      block.candidate = {row + 1, size_t{row} + 2 < relationRows};
    } else {
      block.candidate = nextMatch(*index, row);
    }
  }
  extendCarried(walk, level, first);
}

// Readies the counts of values for the steps whose keys are laid out level by level: those
// after a level whose rows vary in length.
void countValuesFor(walkStruct& walk) {
  const joinStruct& join = *walk.join;
  for (size_t level = 1; level < join.levelItems.size(); ++level) {
    if (!isNatural(join, level) || walk.keyLayout.fixedAbove[level] != 0) continue;
    walk.countedLevels = level;
    walk.valueCap = std::max(walk.valueCap, valuesNeeded(join.plan.steps[level - 1].leftPositions));
  }
}

// The rows of the last level's block with every level's row number, for the taker.
const resultBlockStruct& resultOfLastLevel(walkStruct& walk) {
  size_t last = walk.levels.size() - 1;
  resultBlockStruct& result = walk.result;
  result.size = walk.levels[last].size;
  for (size_t k = 0; k < result.size; ++k) {
    forEachRowUp(walk, last, k,
                 [&result, k](size_t level, uint32_t row) { result.rowIds[level][k] = row; });
  }
  return result;
}

}  // namespace

namespace {

// An index to build, and the step whose relation and key it indexes.
struct indexToBuildStruct {
  rowIndexStruct* index;
  const stepStruct* step;
};

// Gives every natural-join step its index, one for all steps that agree on relation and key,
// and answers the indexes to build.
std::vector<indexToBuildStruct> planIndexes(joinStruct& join) {
  std::map<std::pair<int32_t, std::vector<int32_t>>, rowIndexStruct*> planned;
  std::vector<indexToBuildStruct> toBuild;
  for (const stepStruct& step : join.plan.steps) {
    if (step.rightPositions.empty()) {
      join.stepIndexes.push_back(nullptr);
      continue;
    }
    auto cached = planned.try_emplace({step.table, step.rightPositions}, nullptr);
    if (cached.second) {
      // A deque leaves its elements where they are as it grows.
      cached.first->second = &join.indexes.emplace_back();
      toBuild.push_back({cached.first->second, &step});
    }
    join.stepIndexes.push_back(cached.first->second);
  }
  return toBuild;
}

// Indexes of this many rows or more are built one after another, all workers sharing each
// chunk of rows; before them the others are built side by side, one per worker. Below a few
// million rows a lone worker measured faster than shared ones (at one and two million rows);
// far above, where every lookup waits on memory, shared ones are faster.
constexpr size_t kSharedIndexRows = size_t{1} << 22;

void buildIndexes(const std::vector<mainStruct>& mainVec,
                  const std::vector<indexToBuildStruct>& toBuild, uint64_t hashSeed,
                  workerPoolStruct& pool) {
  auto relationOf = [&mainVec](const indexToBuildStruct& build) -> const mainStruct& {
    return mainVec[static_cast<size_t>(build.step->table)];
  };
  std::vector<indexToBuildStruct> alone;
  std::vector<indexToBuildStruct> shared;
  for (const indexToBuildStruct& build : toBuild) {
    bool large = relationOf(build).rows.size() >= kSharedIndexRows && poolWorkers(pool) > 1;
    (large ? shared : alone).push_back(build);
  }
  forEachTask(pool, alone.size(), [&](size_t i) {
    *alone[i].index = buildRowIndex(relationOf(alone[i]), alone[i].step->rightPositions, hashSeed);
  });
  for (const indexToBuildStruct& build : shared) {
    *build.index =
        buildRowIndexShared(relationOf(build), build.step->rightPositions, hashSeed, pool);
  }
}

// The relation and the row length of every level, and whether the result is empty.
void layOutLevels(joinStruct& join) {
  for (size_t level = 0; level <= join.plan.steps.size(); ++level) {
    int32_t table = level == 0 ? join.plan.firstTable : join.plan.steps[level - 1].table;
    const mainStruct& relation = (*join.mainVec)[static_cast<size_t>(table)];
    join.levelRelations.push_back(&relation);
    join.levelItems.push_back(relation.rowItems);
    const rowIndexStruct* index = level == 0 ? nullptr : join.stepIndexes[level - 1];
    if (relation.rows.empty() || (index != nullptr && index->indexedRows == 0)) {
      join.resultIsEmpty = true;
    }
  }
}

}  // namespace

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                       uint64_t hashSeed, workerPoolStruct& pool) {
  joinStruct join;
  join.mainVec = &mainVec;
  join.plan = planJoin(mainVec, tables, hashSeed);
  buildIndexes(mainVec, planIndexes(join), hashSeed, pool);
  layOutLevels(join);
  return join;
}

void forEachResultBlock(const joinStruct& join,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows) {
  forEachResultBlockFrom(join, 0, relationOfLevel(join, 0).rows.size(), take, blockRows);
}

namespace {

// The walk over the first `levelCount` levels of the result rows made from the first
// relation's rows [begin, end).
void walkLevels(const joinStruct& join, size_t levelCount, size_t begin, size_t end,
                const std::function<bool(const resultBlockStruct&)>& take, size_t blockRows) {
  if (join.resultIsEmpty) return;
  size_t last = levelCount - 1;
  walkStruct walk;
  walk.join = &join;
  walk.blockRows =
      std::clamp<size_t>(blockRows, 1, std::max<size_t>(kBlockEntries / levelCount, 1));
  walk.levels.resize(levelCount);
  walk.keyLayout = layOutKeys(join);
  walk.jumpLevels = jumpLevelsOf(levelCount);
  countValuesFor(walk);
  for (size_t level = 0; level < levelCount; ++level) {
    levelBlockStruct& block = walk.levels[level];
    for (std::vector<uint32_t>* column :
         {&block.above, &block.rows, &block.firstLevelRows, &block.jumps}) {
      column->resize(walk.blockRows);
    }
    if (level < walk.countedLevels) block.valuesThrough.resize(walk.blockRows);
  }
  walk.result.rowIds.assign(levelCount, std::vector<uint32_t>(walk.blockRows));
  // Depth first over blocks: a block is extended level by level to the last, handed over,
  // and only then is the level above it filled further, so rows come out in the fold's order.
  end = std::min(end, relationOfLevel(join, 0).rows.size());
  size_t nextFirst = std::min(begin, end);
  size_t level = 0;
  for (;;) {
    levelBlockStruct& block = walk.levels[level];
    if (level == 0) {
      if (nextFirst == end) return;
      startFirstLevel(walk, nextFirst, std::min(walk.blockRows, end - nextFirst));
      nextFirst += block.size;
      if (last == 0 && !take(resultOfLastLevel(walk))) return;
      if (last > 0) openLevel(walk, ++level);
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

}  // namespace

void forEachResultBlockFrom(const joinStruct& join, size_t begin, size_t end,
                            const std::function<bool(const resultBlockStruct&)>& take,
                            size_t blockRows) {
  walkLevels(join, join.plan.steps.size() + 1, begin, end, take, blockRows);
}

void forEachPrefixBlock(const joinStruct& join, size_t levels,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows) {
  size_t levelCount = std::clamp<size_t>(levels, 1, join.plan.steps.size() + 1);
  walkLevels(join, levelCount, 0, relationOfLevel(join, 0).rows.size(), take, blockRows);
}
