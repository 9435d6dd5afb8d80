#include "join/join.h"

#include <algorithm>
#include <map>
#include <utility>

#include "relations/parallel.h"
#include "relations/prefetch.h"

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
  std::vector<uint32_t> rowIds;
  std::vector<uint32_t> keyOrder;
  std::vector<uint32_t> keyLevels;  // the levels but the first whose rows hold a key's values
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

// The row number at `level` of row k of the block of `from`, a level at or below it.
uint32_t rowIdAt(const walkStruct& walk, size_t from, size_t k, size_t level) {
  if (level == 0) return walk.levels[from].firstLevelRows[k];
  for (; from > level; --from) k = walk.levels[from].above[k];
  return walk.levels[level].rows[k];
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

// The values of row k of the block of `from` laid out one by one, as far as `needed` values.
void layOutValues(walkStruct& walk, size_t from, size_t k, size_t needed) {
  std::vector<std::string_view>& values = walk.values;
  values.clear();
  auto keep = [&values, needed](std::string_view value) {
    values.push_back(value);
    return values.size() < needed;
  };
  std::vector<uint32_t>& rowIds = walk.rowIds;
  rowIds.resize(from + 1);
  forEachRowUp(walk, from, k, [&rowIds](size_t level, uint32_t row) { rowIds[level] = row; });
  for (size_t level = 0; level <= from && values.size() < needed; ++level) {
    std::string_view row = relationOfLevel(*walk.join, level).rows[rowIds[level]];
    if (level == 0) {
      forEachItem(row, keep);
    } else {
      forEachCopiedValue(walk.join->plan.steps[level - 1], row, keep);
    }
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
  for (size_t k = 0; k < count; ++k) {
    std::string_view* key = &walk.keys.values[k * width];
    layOutValues(walk, level - 1, first + k, needed);
    bool present = true;
    for (size_t i = 0; i < width && present; ++i) {
      size_t position = static_cast<size_t>(positions[i]);
      present = position < walk.values.size();
      if (present) key[i] = walk.values[position];
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
  while (block.size < walk.blockRows && !levelIsSpent(walk, level)) {
    uint32_t row = block.candidate.row;
    if (row == kNoRow) {
      startAbove(walk, level, block.nextAbove + 1);
      continue;
    }
    block.above[block.size] = static_cast<uint32_t>(block.nextAbove);
    block.rows[block.size] = row;
    block.firstLevelRows[block.size] = walk.levels[level - 1].firstLevelRows[block.nextAbove];
    ++block.size;
    if (!block.candidate.more) {
      block.candidate = {};
    } else if (index == nullptr) {
      block.candidate = {row + 1, size_t{row} + 2 < relationRows};
    } else {
      block.candidate = nextMatch(*index, row);
    }
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

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                       size_t workers) {
  joinStruct join;
  join.mainVec = &mainVec;
  join.plan = planJoin(mainVec, tables);
  std::map<std::pair<int32_t, std::vector<int32_t>>, rowIndexStruct*> planned;
  std::vector<std::pair<rowIndexStruct*, const stepStruct*>> toBuild;
  for (const stepStruct& step : join.plan.steps) {
    if (step.rightPositions.empty()) {
      join.stepIndexes.push_back(nullptr);
      continue;
    }
    auto cached = planned.try_emplace({step.table, step.rightPositions}, nullptr);
    if (cached.second) {
      // A deque leaves its elements where they are as it grows.
      cached.first->second = &join.indexes.emplace_back();
      toBuild.emplace_back(cached.first->second, &step);
    }
    join.stepIndexes.push_back(cached.first->second);
  }
  // Workers left over when each index has one share in building the indexes of many rows.
  // Below a few million rows a lone worker measured faster than shared ones (at one and two
  // million rows); far above, where every lookup waits on memory, shared ones are faster.
  constexpr size_t kSharedIndexRows = size_t{1} << 22;
  size_t perIndex = toBuild.empty() ? 1 : std::max<size_t>(workers / toBuild.size(), 1);
  forEachTaskInParallel(workers, toBuild.size(), [&](size_t /*worker*/, size_t i) {
    const stepStruct& step = *toBuild[i].second;
    const mainStruct& relation = mainVec[static_cast<size_t>(step.table)];
    size_t shares = relation.rows.size() >= kSharedIndexRows ? perIndex : 1;
    *toBuild[i].first = buildRowIndex(relation, step.rightPositions, shares);
  });
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
  for (levelBlockStruct& block : walk.levels) {
    block.above.resize(walk.blockRows);
    block.rows.resize(walk.blockRows);
    block.firstLevelRows.resize(walk.blockRows);
  }
  walk.result.rowIds.assign(levelCount, std::vector<uint32_t>(walk.blockRows));
  walk.keyLayout = layOutKeys(join);
  // Depth first over blocks: a block is extended level by level to the last, handed over,
  // and only then is the level above it filled further, so rows come out in the fold's order.
  end = std::min(end, relationOfLevel(join, 0).rows.size());
  size_t nextFirst = std::min(begin, end);
  size_t level = 0;
  for (;;) {
    levelBlockStruct& block = walk.levels[level];
    if (level == 0) {
      if (nextFirst == end) return;
      block.size = std::min(walk.blockRows, end - nextFirst);
      for (size_t k = 0; k < block.size; ++k) block.rows[k] = static_cast<uint32_t>(nextFirst + k);
      block.firstLevelRows = block.rows;
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
