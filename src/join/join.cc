#include "join/join.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {

bool isNatural(const joinStruct& join, size_t level) {
  return level > 0 && join.stepIndexes[level - 1] != nullptr;
}

// A natural step compares values of the levels before it; later levels need none kept. The
// first step's matches are found before the walk, so it needs none either.
size_t keyedLevelsOf(const joinStruct& join) {
  size_t keyed = 0;
  for (size_t level = 2; level <= join.plan.steps.size(); ++level) {
    if (isNatural(join, level)) keyed = level;
  }
  return keyed;
}

size_t valuesBefore(const resultCursorStruct& cursor, size_t level) {
  return level == 0 ? 0 : cursor.valueEnds[level - 1];
}

void placeValues(resultCursorStruct& cursor, size_t level) {
  if (level >= cursor.keyedLevels) return;
  cursor.values.resize(valuesBefore(cursor, level));
  std::string_view row = relationOfLevel(*cursor.join, level).rows[cursor.rowIds[level]];
  auto keep = [&cursor](std::string_view value) { cursor.values.push_back(value); };
  if (level == 0) {
    forEachItem(row, keep);
  } else {
    forEachCopiedValue(cursor.join->plan.steps[level - 1], row, keep);
  }
  cursor.valueEnds[level] = cursor.values.size();
}

// While the rows after this one are walked, the link to the next match of its key is fetched.
void prefetchNextMatch(const rowIndexStruct& index, const mainStruct& relation, uint32_t row) {
  if (row == kNoRow) return;
  __builtin_prefetch(&index.nextRow[row]);
  __builtin_prefetch(&relation.rows.packed[row]);
}

constexpr size_t kFirstStepBlock = 4096;

uint32_t firstStepMatch(resultCursorStruct& cursor) {
  size_t leftRow = cursor.rowIds[0];
  std::vector<uint32_t>& matches = cursor.firstStepMatches;
  if (leftRow < cursor.firstStepBlock || leftRow - cursor.firstStepBlock >= matches.size()) {
    const joinStruct& join = *cursor.join;
    const rowVec& leftRows = relationOfLevel(join, 0).rows;
    matches.resize(std::min(kFirstStepBlock, leftRows.size() - leftRow));
    cursor.firstStepBlock = leftRow;
    findFirstMatches(*join.stepIndexes[0], relationOfLevel(join, 1), leftRows,
                     join.plan.steps[0].leftPositions, leftRow, matches);
  }
  return matches[leftRow - cursor.firstStepBlock];
}

// Puts the first candidate row of `level` in place, given the rows above it.
bool enterLevel(resultCursorStruct& cursor, size_t level) {
  const mainStruct& relation = relationOfLevel(*cursor.join, level);
  if (!isNatural(*cursor.join, level)) {
    cursor.rowIds[level] = 0;
    return !relation.rows.empty();
  }
  const rowIndexStruct& index = *cursor.join->stepIndexes[level - 1];
  if (level == 1) {
    cursor.rowIds[1] = firstStepMatch(cursor);
    prefetchNextMatch(index, relation, cursor.rowIds[1]);
    return cursor.rowIds[1] != kNoRow;
  }
  const stepStruct& step = cursor.join->plan.steps[level - 1];
  size_t known = valuesBefore(cursor, level);
  cursor.key.clear();
  for (int32_t position : step.leftPositions) {
    // A missing value equals nothing, not even another missing value.
    if (static_cast<size_t>(position) >= known) return false;
    cursor.key.push_back(cursor.values[static_cast<size_t>(position)]);
  }
  uint32_t row = firstMatch(index, relation, cursor.key, cursor.scratch);
  prefetchNextMatch(index, relation, row);
  cursor.rowIds[level] = row;
  return row != kNoRow;
}

bool advanceLevel(resultCursorStruct& cursor, size_t level) {
  uint32_t& row = cursor.rowIds[level];
  if (isNatural(*cursor.join, level)) {
    const rowIndexStruct& index = *cursor.join->stepIndexes[level - 1];
    row = nextMatch(index, row);
    prefetchNextMatch(index, relationOfLevel(*cursor.join, level), row);
    return row != kNoRow;
  }
  ++row;
  return row < relationOfLevel(*cursor.join, level).rows.size();
}

}  // namespace

const mainStruct& relationOfLevel(const joinStruct& join, size_t level) {
  int32_t table = level == 0 ? join.plan.firstTable : join.plan.steps[level - 1].table;
  return (*join.mainVec)[static_cast<size_t>(table)];
}

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
  join.resultIsEmpty = relationOfLevel(join, 0).rows.empty();
  for (size_t level = 1; level <= join.plan.steps.size(); ++level) {
    const rowIndexStruct* index = join.stepIndexes[level - 1];
    bool noRows = relationOfLevel(join, level).rows.empty();
    if (noRows || (index != nullptr && index->indexedRows == 0)) join.resultIsEmpty = true;
  }
  return join;
}

resultCursorStruct openResult(const joinStruct& join) {
  resultCursorStruct cursor;
  cursor.join = &join;
  size_t levels = join.plan.steps.size() + 1;
  cursor.rowIds.assign(levels, 0);
  cursor.valueEnds.assign(levels, 0);
  cursor.keyedLevels = keyedLevelsOf(join);
  cursor.finished = join.resultIsEmpty;
  return cursor;
}

bool nextResultRow(resultCursorStruct& cursor) {
  if (cursor.finished) return false;
  size_t last = cursor.rowIds.size() - 1;
  size_t level = 0;
  bool placed;
  if (!cursor.started) {
    cursor.started = true;
    placed = enterLevel(cursor, 0);
  } else {
    level = last;
    placed = advanceLevel(cursor, last);
  }
  for (;;) {
    if (placed) {
      placeValues(cursor, level);
      if (level == last) return true;
      ++level;
      placed = enterLevel(cursor, level);
    } else if (level == 0) {
      cursor.finished = true;
      return false;
    } else {
      --level;
      placed = advanceLevel(cursor, level);
    }
  }
}
