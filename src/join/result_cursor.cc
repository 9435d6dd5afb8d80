#include "join/result_cursor.h"

#include <algorithm>
#include <numeric>
#include <span>
#include <utility>

#include "join/plan.h"
#include "relations/items.h"
#include "relations/rows_in_turn.h"

namespace {

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

// Appends the key's slots, sorted by `before`, to the cursor's keyOrders and answers where
// they begin; kSlotsInOrder, with nothing appended, when they stand in order already.
template <typename Before>
uint32_t orderSlots(resultCursorStruct& cursor, uint32_t width, Before&& before) {
  std::vector<uint32_t>& orders = cursor.keyOrders;
  auto begin = static_cast<uint32_t>(orders.size());
  for (uint32_t slot = 0; slot < width; ++slot) orders.push_back(slot);
  if (std::is_sorted(orders.begin() + begin, orders.end(), before)) {
    orders.resize(begin);
    return kSlotsInOrder;
  }
  std::sort(orders.begin() + begin, orders.end(), before);
  return begin;
}

uint32_t slotAt(const resultCursorStruct& cursor, const keyPlanStruct& plan, size_t i) {
  return plan.order == kSlotsInOrder ? static_cast<uint32_t>(i) : cursor.keyOrders[plan.order + i];
}

// Where the value of the key's `slot` stands, for a key at known places.
const valueSourceStruct& sourceOf(const resultCursorStruct& cursor,
                                  const std::vector<int32_t>& positions, uint32_t slot) {
  return cursor.valueSources[static_cast<size_t>(positions[slot])];
}

// Orders the slots of a key at known places level by level and item by item, and appends the
// runs of them that one level's row gives to the cursor's keyGroups.
void placeFixedKey(resultCursorStruct& cursor, keyPlanStruct& plan,
                   const std::vector<int32_t>& positions) {
  plan.order = orderSlots(cursor, plan.width, [&](uint32_t a, uint32_t b) {
    const valueSourceStruct& x = sourceOf(cursor, positions, a);
    const valueSourceStruct& y = sourceOf(cursor, positions, b);
    return x.level != y.level ? x.level < y.level : x.item < y.item;
  });
  std::vector<keyGroupStruct>& groups = cursor.keyGroups;
  plan.groupsBegin = static_cast<uint32_t>(groups.size());
  for (uint32_t i = 0; i < plan.width; ++i) {
    const valueSourceStruct& source = sourceOf(cursor, positions, slotAt(cursor, plan, i));
    if (groups.size() == plan.groupsBegin || groups.back().level != source.level) {
      groups.push_back({source.level, i, 0, 0});
    }
    groups.back().end = i + 1;
    groups.back().items = source.item + 1;
  }
  plan.groupsEnd = static_cast<uint32_t>(groups.size());
}

// How the keys that `level`, a natural step's, looks up are read from the rows above it.
keyPlanStruct planKeys(resultCursorStruct& cursor, const keyLayoutStruct& layout, size_t level) {
  const std::vector<int32_t>& positions = cursor.join->plan.steps[level - 1].leftPositions;
  keyPlanStruct plan;
  plan.width = static_cast<uint32_t>(positions.size());
  plan.needed = static_cast<uint32_t>(valuesNeeded(positions));
  bool fixed = layout.fixedAbove[level] != 0;
  if (fixed && plan.needed > layout.valuesAbove[level]) {
    plan.route = keyRouteKind::kMissing;
  } else if (fixed) {
    plan.route = plan.width == 1 ? keyRouteKind::kOneValue : keyRouteKind::kByLevel;
    placeFixedKey(cursor, plan, positions);
  } else {
    plan.route = keyRouteKind::kLaidOut;
    plan.order = orderSlots(cursor, plan.width, [&positions](uint32_t a, uint32_t b) {
      return positions[a] < positions[b];
    });
  }
  return plan;
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

// Readies the counts of values for the steps whose keys are laid out level by level: those
// after a level whose rows vary in length.
void countValuesFor(resultCursorStruct& cursor) {
  for (size_t level = 1; level < cursor.keyPlans.size(); ++level) {
    const keyPlanStruct& plan = cursor.keyPlans[level];
    if (plan.route != keyRouteKind::kLaidOut) continue;
    cursor.countedLevels = level;
    cursor.valueCap = std::max<size_t>(cursor.valueCap, plan.needed);
  }
}

// The index in the block of `level` of the row that row k of the block of `from` extends
// there; `level` is at or above `from`.
size_t indexAt(const resultCursorStruct& cursor, size_t from, size_t k, size_t level) {
  while (from > level) {
    size_t target = cursor.jumpLevels[from];
    if (target >= level) {
      k = cursor.levels[from].jumps[k];
      from = target;
    } else {
      k = cursor.levels[from].above[k];
      --from;
    }
  }
  return k;
}

// The row number at `level` of row k of the block of `from`, a level at or below it.
uint32_t rowIdAt(const resultCursorStruct& cursor, size_t from, size_t k, size_t level) {
  if (level == 0) return cursor.levels[from].firstLevelRows[k];
  return cursor.levels[level].rows[indexAt(cursor, from, k, level)];
}

std::string_view rowAt(const resultCursorStruct& cursor, size_t from, size_t k, size_t level) {
  return relationOfLevel(*cursor.join, level).rows[rowIdAt(cursor, from, k, level)];
}

// The first level of row k of the block of `from` whose count of values passes `position`,
// which that of `from` must do, and the row's index in that level's block: the level that
// holds the result row's value at `position`. Counts only grow downwards, so a jump that
// still passes skips no better level.
std::pair<size_t, size_t> levelHolding(const resultCursorStruct& cursor, size_t from, size_t k,
                                       size_t position) {
  auto passes = [&](size_t level, size_t index) {
    return cursor.levels[level].valuesThrough[index] > position;
  };
  while (from > 0) {
    const levelBlockStruct& block = cursor.levels[from];
    size_t target = cursor.jumpLevels[from];
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
size_t valuesAddedUpTo(const resultCursorStruct& cursor, size_t level, uint32_t row, size_t limit) {
  const joinStruct& join = *cursor.join;
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

// Replaces cursor.values by the first `limit` values that row `row` of `level` adds to the
// result row.
void splitAddedValues(resultCursorStruct& cursor, size_t level, uint32_t row, size_t limit) {
  std::string_view text = relationOfLevel(*cursor.join, level).rows[row];
  std::vector<std::string_view>& values = cursor.values;
  if (level == 0) {
    splitItems(text, values, limit);
    return;
  }
  values.clear();
  forEachCopiedValue(cursor.join->plan.steps[level - 1], text,
                     [&values, limit](std::string_view v) {
                       values.push_back(v);
                       return values.size() < limit;
                     });
}

// Calls use(k) for k from 0 to count - 1, having asked for the rows that `groups` read of the
// later rows first + k of the block of `from`.
template <typename Use>
void useRowsAt(const resultCursorStruct& cursor, size_t from, size_t first, size_t count,
               std::span<const keyGroupStruct> groups, Use&& use) {
  auto forEachRow = [&](size_t k, auto&& visit) {
    for (const keyGroupStruct& group : groups) {
      visit(relationOfLevel(*cursor.join, group.level).rows,
            rowIdAt(cursor, from, first + k, group.level));
    }
  };
  useRowsInTurn(count, forEachRow, use);
}

std::span<const keyGroupStruct> groupsOf(const resultCursorStruct& cursor,
                                         const keyPlanStruct& plan) {
  return std::span(cursor.keyGroups).subspan(plan.groupsBegin, plan.groupsEnd - plan.groupsBegin);
}

// The groups whose rows are asked for ahead: all but one of the first level, whose rows are
// read in order, which the processor foresees. Groups come level by level, so it is the first.
std::span<const keyGroupStruct> groupsAhead(std::span<const keyGroupStruct> groups) {
  return groups.subspan(groups[0].level == 0 ? 1 : 0);
}

// The keys of one value that rows [first, first + count) of the block above `level` look up.
void takeKeysOfOneValue(resultCursorStruct& cursor, size_t level, size_t first, size_t count) {
  std::span<const keyGroupStruct> groups = groupsOf(cursor, cursor.keyPlans[level]);
  // Copied out: the compiler cannot tell that writing a key leaves the group as it was.
  const size_t rowLevel = groups[0].level;
  const size_t item = groups[0].items - 1;
  useRowsAt(cursor, level - 1, first, count, groupsAhead(groups), [&](size_t k) {
    std::string_view row = rowAt(cursor, level - 1, first + k, rowLevel);
    cursor.keys.present[k] = itemAt(row, item, cursor.keys.values[k]) ? 1 : 0;
  });
}

// Puts in `key` the values that `group` names from row k of the block of `from`; false when
// the row there is too short to hold one of them.
bool takeGroup(resultCursorStruct& cursor, const keyGroupStruct& group, size_t from, size_t k,
               std::string_view* key) {
  const keyPlanStruct& plan = cursor.keyPlans[from + 1];
  std::string_view row = rowAt(cursor, from, k, group.level);
  if (group.end - group.begin == 1) {
    return itemAt(row, group.items - 1, key[slotAt(cursor, plan, group.begin)]);
  }
  const std::vector<int32_t>& positions = cursor.join->plan.steps[from].leftPositions;
  splitItems(row, cursor.values, group.items);
  for (size_t i = group.begin; i < group.end; ++i) {
    uint32_t slot = slotAt(cursor, plan, i);
    size_t item = sourceOf(cursor, positions, slot).item;
    if (item >= cursor.values.size()) return false;
    key[slot] = cursor.values[item];
  }
  return true;
}

// The keys of several values that rows [first, first + count) of the block above `level`
// look up, taken level by level, each row cut once as far as its last value needed.
void takeKeysByLevel(resultCursorStruct& cursor, size_t level, size_t first, size_t count) {
  const keyPlanStruct& plan = cursor.keyPlans[level];
  std::span<const keyGroupStruct> groups = groupsOf(cursor, plan);
  useRowsAt(cursor, level - 1, first, count, groupsAhead(groups), [&](size_t k) {
    std::string_view* key = &cursor.keys.values[k * plan.width];
    bool present = true;
    for (size_t g = 0; g < groups.size() && present; ++g) {
      present = takeGroup(cursor, groups[g], level - 1, first + k, key);
    }
    cursor.keys.present[k] = present ? 1 : 0;
  });
}

// Puts in `key` the values of row k of the block of `from` that the step below it compares;
// the row holds them all. Each is found at the level whose count of values first passes its
// position; taken in ascending order, a level that holds several of them has its row split
// once.
void takeLaidOutKey(resultCursorStruct& cursor, size_t from, size_t k, std::string_view* key) {
  const keyPlanStruct& plan = cursor.keyPlans[from + 1];
  const std::vector<int32_t>& positions = cursor.join->plan.steps[from].leftPositions;
  size_t valuesBefore = 0;
  size_t valuesThrough = 0;  // of the level whose values cursor.values holds
  for (size_t i = 0; i < plan.width; ++i) {
    uint32_t slot = slotAt(cursor, plan, i);
    auto position = static_cast<size_t>(positions[slot]);
    if (position >= valuesThrough) {
      auto [holder, index] = levelHolding(cursor, from, k, position);
      const levelBlockStruct& block = cursor.levels[holder];
      valuesBefore = holder == 0 ? 0 : cursor.levels[holder - 1].valuesThrough[block.above[index]];
      valuesThrough = block.valuesThrough[index];
      splitAddedValues(cursor, holder, block.rows[index], valuesThrough - valuesBefore);
    }
    key[slot] = cursor.values[position - valuesBefore];
  }
}

// The keys, laid out level by level, that rows [first, first + count) of the block above
// `level` look up.
void takeLaidOutKeys(resultCursorStruct& cursor, size_t level, size_t first, size_t count) {
  const keyPlanStruct& plan = cursor.keyPlans[level];
  const levelBlockStruct& above = cursor.levels[level - 1];
  for (size_t k = 0; k < count; ++k) {
    bool present = above.valuesThrough[first + k] >= plan.needed;
    cursor.keys.present[k] = present ? 1 : 0;
    if (present) takeLaidOutKey(cursor, level - 1, first + k, &cursor.keys.values[k * plan.width]);
  }
}

// The keys that rows [first, first + count) of the block above `level` look up at `level`.
void takeKeys(resultCursorStruct& cursor, size_t level, size_t first, size_t count) {
  const keyPlanStruct& plan = cursor.keyPlans[level];
  resetKeys(cursor.keys, plan.width, count);
  switch (plan.route) {
    case keyRouteKind::kNone:
      return;
    case keyRouteKind::kMissing:
      // A missing value equals nothing, not even another missing value.
      std::fill(cursor.keys.present.begin(), cursor.keys.present.end(), 0);
      return;
    case keyRouteKind::kOneValue:
      takeKeysOfOneValue(cursor, level, first, count);
      return;
    case keyRouteKind::kByLevel:
      takeKeysByLevel(cursor, level, first, count);
      return;
    case keyRouteKind::kLaidOut:
      takeLaidOutKeys(cursor, level, first, count);
      return;
  }
}

// Fills in what rows [first, size) of the block of `level` carry down from the rows they
// extend.
void extendCarried(resultCursorStruct& cursor, size_t level, size_t first) {
  levelBlockStruct& block = cursor.levels[level];
  const levelBlockStruct& parent = cursor.levels[level - 1];
  bool jumpsToParent = cursor.jumpLevels[level] + 1 == level;
  const levelBlockStruct& parentTarget = cursor.levels[cursor.jumpLevels[level - 1]];
  for (size_t k = first; k < block.size; ++k) {
    uint32_t above = block.above[k];
    block.firstLevelRows[k] = parent.firstLevelRows[above];
    block.jumps[k] = jumpsToParent ? above : parentTarget.jumps[parent.jumps[above]];
  }
  if (level >= cursor.countedLevels) return;
  size_t cap = cursor.valueCap;
  for (size_t k = first; k < block.size; ++k) {
    size_t before = parent.valuesThrough[block.above[k]];
    size_t through =
        before >= cap ? cap : before + valuesAddedUpTo(cursor, level, block.rows[k], cap - before);
    block.valuesThrough[k] = static_cast<uint32_t>(std::min(through, cap));
  }
}

// Points the candidate of `level` at the first row that extends row k of the block above.
void startAbove(resultCursorStruct& cursor, size_t level, size_t k) {
  levelBlockStruct& block = cursor.levels[level];
  block.nextAbove = k;
  if (k >= cursor.levels[level - 1].size) return;
  if (isNatural(*cursor.join, level)) {
    block.candidate = block.matches[k];
  } else {
    // A relation without rows leaves the whole result empty, so row 0 is there.
    block.candidate = {0, relationOfLevel(*cursor.join, level).rows.size() > 1};
  }
}

bool aboveIsSpent(const resultCursorStruct& cursor, size_t level) {
  return cursor.levels[level].nextAbove >= cursor.levels[level - 1].size;
}

// Fills the first level's block with the next run of the first relation's rows.
void fillFirstLevel(resultCursorStruct& cursor) {
  levelBlockStruct& block = cursor.levels[0];
  size_t firstRow = cursor.nextFirst;
  block.size = std::min(cursor.blockRows, cursor.endFirst - firstRow);
  cursor.nextFirst += block.size;
  for (size_t k = 0; k < block.size; ++k) {
    block.rows[k] = static_cast<uint32_t>(firstRow + k);
    block.jumps[k] = static_cast<uint32_t>(k);
  }
  block.firstLevelRows = block.rows;
  if (cursor.countedLevels == 0) return;
  for (size_t k = 0; k < block.size; ++k) {
    block.valuesThrough[k] = static_cast<uint32_t>(
        std::min(cursor.valueCap, valuesAddedUpTo(cursor, 0, block.rows[k], cursor.valueCap)));
  }
}

// Adds rows to the block of `level` until it is full or the block above is spent.
void fillLevel(resultCursorStruct& cursor, size_t level) {
  const joinStruct& join = *cursor.join;
  levelBlockStruct& block = cursor.levels[level];
  const rowIndexStruct* index = join.stepIndexes[level - 1];
  size_t relationRows = relationOfLevel(join, level).rows.size();
  size_t first = block.size;
  while (block.size < cursor.blockRows && !aboveIsSpent(cursor, level)) {
    uint32_t row = block.candidate.row;
    if (row == kNoRow) {
      startAbove(cursor, level, block.nextAbove + 1);
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
  extendCarried(cursor, level, first);
}

// The walk's steps. fill: extends the block of the cursor's level, from the block above it
// (at level 0, from the first relation's rows not walked yet), until it is full or the block
// above is spent.
void fill(resultCursorStruct& cursor) {
  if (cursor.level == 0) {
    fillFirstLevel(cursor);
  } else {
    fillLevel(cursor, cursor.level);
  }
}

// descend: opens the next level to extend the block just filled, looking up the keys of all
// its rows at once.
void descend(resultCursorStruct& cursor) {
  size_t level = ++cursor.level;
  const joinStruct& join = *cursor.join;
  levelBlockStruct& block = cursor.levels[level];
  block.size = 0;
  if (isNatural(join, level)) {
    // Keys of many values are looked up a few rows at a time, so that they take no more room
    // than a block does.
    size_t rows = cursor.levels[level - 1].size;
    size_t step = std::max<size_t>(kBlockEntries / cursor.keyPlans[level].width, 1);
    block.matches.resize(rows);
    for (size_t first = 0; first < rows; first += step) {
      size_t count = std::min(step, rows - first);
      takeKeys(cursor, level, first, count);
      findFirstMatches(*join.stepIndexes[level - 1], relationOfLevel(join, level), cursor.keys,
                       std::span(block.matches).subspan(first, count));
    }
  }
  startAbove(cursor, level, 0);
}

// ascend: the block above has been extended all the way down, so the walk goes back up to it,
// and that block is done with.
void ascend(resultCursorStruct& cursor) { cursor.levels[--cursor.level].size = 0; }

// emit: the last level's block, full or all that its block above makes, goes over to the taker
// with every level's row number, and is done with.
void emit(resultCursorStruct& cursor) {
  size_t last = cursor.levels.size() - 1;
  levelBlockStruct& block = cursor.levels[last];
  resultBlockStruct& result = cursor.result;
  result.size = block.size;
  for (size_t k = 0; k < result.size; ++k) {
    size_t index = k;
    for (size_t level = last;; --level) {
      result.rowIds[level][k] = cursor.levels[level].rows[index];
      if (level == 0) break;
      index = cursor.levels[level].above[index];
    }
  }
  block.size = 0;
}

// Sizes every level's columns for blocks of cursor.blockRows.
void sizeBlocks(resultCursorStruct& cursor) {
  size_t levelCount = cursor.levels.size();
  for (size_t level = 0; level < levelCount; ++level) {
    levelBlockStruct& block = cursor.levels[level];
    for (std::vector<uint32_t>* column :
         {&block.above, &block.rows, &block.firstLevelRows, &block.jumps}) {
      column->resize(cursor.blockRows);
    }
    if (level < cursor.countedLevels) block.valuesThrough.resize(cursor.blockRows);
  }
  cursor.result.rowIds.assign(levelCount, std::vector<uint32_t>(cursor.blockRows));
}

}  // namespace

void openResultCursor(resultCursorStruct& cursor, const joinStruct& join, size_t begin, size_t end,
                      size_t blockRows, size_t levels) {
  size_t levelCount = std::clamp<size_t>(levels, 1, join.plan.steps.size() + 1);
  cursor = {};
  cursor.join = &join;
  cursor.blockRows =
      std::clamp<size_t>(blockRows, 1, std::max<size_t>(kBlockEntries / levelCount, 1));
  cursor.endFirst = std::min(end, relationOfLevel(join, 0).rows.size());
  // An empty result skips the walk rather than run it to its dead ends.
  if (join.resultIsEmpty) cursor.endFirst = 0;
  cursor.nextFirst = std::min(begin, cursor.endFirst);
  cursor.levels.resize(levelCount);
  keyLayoutStruct layout = layOutKeys(join);
  cursor.valueSources = std::move(layout.sources);
  cursor.keyPlans.resize(levelCount);
  for (size_t level = 1; level < levelCount; ++level) {
    if (isNatural(join, level)) cursor.keyPlans[level] = planKeys(cursor, layout, level);
  }
  cursor.jumpLevels = jumpLevelsOf(levelCount);
  countValuesFor(cursor);
  sizeBlocks(cursor);
}

bool nextResultBlock(resultCursorStruct& cursor) {
  size_t last = cursor.levels.size() - 1;
  // A fill stops at a full block or where the block above is spent: a block with rows goes
  // down a level, or over to the taker from the last; an empty one sends the walk back up.
  for (;;) {
    fill(cursor);
    if (cursor.levels[cursor.level].size == 0) {
      if (cursor.level == 0) return false;
      ascend(cursor);
    } else if (cursor.level < last) {
      descend(cursor);
    } else {
      emit(cursor);
      return true;
    }
  }
}

void forEachResultBlock(const joinStruct& join,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows) {
  forEachResultBlockFrom(join, 0, relationOfLevel(join, 0).rows.size(), take, blockRows);
}

void forEachResultBlockFrom(const joinStruct& join, size_t begin, size_t end,
                            const std::function<bool(const resultBlockStruct&)>& take,
                            size_t blockRows) {
  resultCursorStruct cursor;
  openResultCursor(cursor, join, begin, end, blockRows);
  while (nextResultBlock(cursor)) {
    if (!take(cursor.result)) return;
  }
}

void forEachPrefixBlock(const joinStruct& join, size_t levels,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows) {
  resultCursorStruct cursor;
  openResultCursor(cursor, join, 0, relationOfLevel(join, 0).rows.size(), blockRows, levels);
  while (nextResultBlock(cursor)) {
    if (!take(cursor.result)) return;
  }
}
