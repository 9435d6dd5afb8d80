#ifndef RELMERGE_JOIN_JOIN_H_
#define RELMERGE_JOIN_JOIN_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <vector>

#include "join/plan.h"
#include "join/row_index.h"
#include "relations/records.h"
#include "util/worker_pool.h"

// A join ready to run: its plan and an index for every natural-join step. The catalogue must
// outlive it.
struct joinStruct {
  // Moved, never copied: stepIndexes point into indexes, whose elements a moved deque keeps.
  joinStruct() = default;
  joinStruct(const joinStruct&) = delete;
  joinStruct& operator=(const joinStruct&) = delete;
  joinStruct(joinStruct&&) = default;
  joinStruct& operator=(joinStruct&&) = default;

  const std::vector<mainStruct>* mainVec = nullptr;
  joinPlanStruct plan;
  std::deque<rowIndexStruct> indexes;              // steps that agree on relation and key share one
  std::vector<const rowIndexStruct*> stepIndexes;  // per step; null for a Cartesian product
  // A relation without rows, or a step that no row can match, leaves the result empty however
  // many rows the other relations hold; the walk is then skipped, not run to its dead ends.
  bool resultIsEmpty = false;
  // The relation whose rows stand at each level of a result row: level 0 holds the first
  // relation of the join, level k the relation of step k - 1.
  std::vector<const mainStruct*> levelRelations;
  // Per level, the number of values every row of its relation holds; 0 when they differ.
  std::vector<size_t> levelItems;
};

inline const mainStruct& relationOfLevel(const joinStruct& join, size_t level) {
  return *join.levelRelations[level];
}

// Plans the join of the relations at `tables` and builds its indexes on the workers of `pool`,
// with keys hashed under `hashSeed`: a random one keeps any input from being made slow to join.
joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                       uint64_t hashSeed, workerPoolStruct& pool);

// A run of result rows in result order: row k is made of row rowIds[level][k] of the relation
// at each level.
struct resultBlockStruct {
  std::vector<std::vector<uint32_t>> rowIds;  // one column per level
  size_t size = 0;
};

// Result rows are made a block at a time, level by level, so that the lookups of a whole
// block wait on memory together instead of one after another. A block is small enough for
// the rows it touches, and the processor's translations of their pages, to stay at hand until
// they are written: in a large script each row of a level may lie on a 4 KiB page of its own,
// and a processor keeps the translations of a few thousand pages.
inline constexpr size_t kResultBlockRows = 256;

// The row at `level` of result row k of `block`.
inline std::string_view rowOf(const joinStruct& join, const resultBlockStruct& block, size_t level,
                              size_t k) {
  return relationOfLevel(join, level).rows[block.rowIds[level][k]];
}

// Hands the result rows to `take` in blocks of at most `blockRows`, in the order the
// left-to-right fold gives them, until none is left or `take` answers false. The walk that
// makes them is join/result_cursor.h, for callers that would rather pull the blocks.
void forEachResultBlock(const joinStruct& join,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows = kResultBlockRows);

// forEachResultBlock for the result rows made from the first relation's rows [begin, end)
// alone: the runs of rows of consecutive ranges follow one another in the result.
void forEachResultBlockFrom(const joinStruct& join, size_t begin, size_t end,
                            const std::function<bool(const resultBlockStruct&)>& take,
                            size_t blockRows = kResultBlockRows);

// forEachResultBlock as if the join list ended after its first `levels` relations (at least
// one): a block holds the rows of those levels alone. Nothing is handed out when the whole
// result is empty.
void forEachPrefixBlock(const joinStruct& join, size_t levels,
                        const std::function<bool(const resultBlockStruct&)>& take,
                        size_t blockRows = kResultBlockRows);

#endif  // RELMERGE_JOIN_JOIN_H_
