#ifndef RELMERGE_JOIN_JOIN_H_
#define RELMERGE_JOIN_JOIN_H_

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "join/plan.h"
#include "join/row_index.h"
#include "relations/records.h"

// A join ready to run: its plan and an index for every natural-join step. The catalogue must
// outlive it.
struct joinStruct {
  const std::vector<mainStruct>* mainVec = nullptr;
  joinPlanStruct plan;
  std::deque<rowIndexStruct> indexes;              // steps that agree on relation and key share one
  std::vector<const rowIndexStruct*> stepIndexes;  // per step; null for a Cartesian product
  // A relation without rows, or a step that no row can match, leaves the result empty however
  // many rows the other relations hold; the walk is then skipped, not run to its dead ends.
  bool resultIsEmpty = false;
};

// The relation whose rows stand at `level` of a result row: 0 is the first relation of the
// join, level k the relation of step k - 1.
const mainStruct& relationOfLevel(const joinStruct& join, size_t level);

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables);

// Walks the result rows depth first, in the order the left-to-right fold gives them. A result
// row is one row of each relation of the join, named by its row number in `rowIds`.
struct resultCursorStruct {
  const joinStruct* join = nullptr;
  std::vector<uint32_t> rowIds;
  std::vector<size_t> valueEnds;         // end of each level's values in `values`
  std::vector<std::string_view> values;  // the result row's values, as far as keys need them
  std::vector<std::string_view> key;
  std::vector<std::string_view> scratch;
  // The first step's first match for a block of rows of the first relation, from
  // firstStepBlock on, found in one pass just before the walk reaches them: their rows are
  // then still in the cache when they are written.
  std::vector<uint32_t> firstStepMatches;
  size_t firstStepBlock = 0;
  size_t keyedLevels = 0;  // levels whose values a later step compares
  bool started = false;
  bool finished = false;
};

resultCursorStruct openResult(const joinStruct& join);

// Moves to the next result row; answers false when there is none.
bool nextResultRow(resultCursorStruct& cursor);

#endif  // RELMERGE_JOIN_JOIN_H_
