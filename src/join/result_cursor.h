#ifndef RELMERGE_JOIN_RESULT_CURSOR_H_
#define RELMERGE_JOIN_RESULT_CURSOR_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "join/join.h"
#include "join/row_index.h"

// The walk that makes the result rows, as a cursor. It stands at a level of the join and fills
// that level's block from the block above; it descends to extend a filled block by the next
// level, ascends once the block above is spent, and hands over each block of the last level.

// Where a value of the result row comes from: an item of the row at a level.
struct valueSourceStruct {
  uint32_t level = 0;
  uint32_t item = 0;
};

// The values of a key that one level's row gives: those of the slots at [begin, end) of the
// key's order of slots, all found among the row's first `items` items.
struct keyGroupStruct {
  uint32_t level = 0;
  uint32_t begin = 0;
  uint32_t end = 0;
  uint32_t items = 0;
};

enum class keyRouteKind : uint8_t {
  kNone,      // a Cartesian product: no key
  kMissing,   // every row above lacks a value the key needs
  kOneValue,  // a key of one value, at a known level and item
  kByLevel,   // a key of several values, each at a known level and item
  kLaidOut,   // values whose level hangs on the lengths of the rows above
};

// A key's slots in the order the key names them.
inline constexpr uint32_t kSlotsInOrder = UINT32_MAX;

// How the keys that a level looks up are read from the rows above it. It depends on the plan
// alone, so a walk works it out once for each step. A long join list has many steps and a wide
// key many values, so the runs a plan names are kept in the cursor, one after another.
struct keyPlanStruct {
  keyRouteKind route = keyRouteKind::kNone;
  uint32_t width = 0;   // values per key
  uint32_t needed = 0;  // values a result row must hold to have them all
  // Where the key's slots, in the order their values stand in a result row, begin in the
  // cursor's keyOrders, so that a row that holds several of them is cut once; kSlotsInOrder
  // when that is the order the key names them in, as keys mostly do.
  uint32_t order = kSlotsInOrder;
  // A key at known places: its groups in the cursor's keyGroups, in order.
  uint32_t groupsBegin = 0;
  uint32_t groupsEnd = 0;
};

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
  // Of each, the values of the result row so far, counted as far as the cursor's valueCap;
  // kept where rows vary in length, for keys whose values must be looked for level by level.
  std::vector<uint32_t> valuesThrough;
  size_t size = 0;
  // Where the extension of the block above stands: at its row `nextAbove`, whose next row at
  // this level is `candidate.row` (kNoRow once it has none left).
  size_t nextAbove = 0;
  matchStruct candidate;
  std::vector<matchStruct> matches;  // of each row of the block above
};

// Where a walk over the result rows stands. Rows are made a block at a time, level by level,
// depth first: a block is extended to the last level and handed over before the level above
// it is filled further, so blocks come out in the order of the left-to-right fold.
struct resultCursorStruct {
  const joinStruct* join = nullptr;
  size_t blockRows = 0;
  size_t level = 0;  // the level whose block is filled next
  // The first relation's rows not walked yet: [nextFirst, endFirst).
  size_t nextFirst = 0;
  size_t endFirst = 0;
  std::vector<levelBlockStruct> levels;
  std::vector<keyPlanStruct> keyPlans;  // per level; of a natural step's level only
  std::vector<keyGroupStruct> keyGroups;
  std::vector<uint32_t> keyOrders;
  // Of each value of the result row, as far as a key reaches and while the levels above it
  // have rows of one length: the level and item that hold it.
  std::vector<valueSourceStruct> valueSources;
  std::vector<uint32_t> jumpLevels;  // per level
  // The levels whose rows count their values, for the keys laid out level by level, and how
  // far those keys reach.
  size_t countedLevels = 0;
  size_t valueCap = 0;
  keyBlockStruct keys;                   // working space
  std::vector<std::string_view> values;  // working space
  resultBlockStruct result;              // the block handed over last
};

// Readies `cursor` for the result rows made from the first relation's rows [begin, end) of
// `join`, which must outlive it, in blocks of at most `blockRows`. With `levels` below the
// join's number of relations, the rows are those of the join list cut after its first `levels`
// relations (at least one).
void openResultCursor(resultCursorStruct& cursor, const joinStruct& join, size_t begin, size_t end,
                      size_t blockRows = kResultBlockRows, size_t levels = SIZE_MAX);

// Moves on to the next block of result rows and leaves it in cursor.result; false once every
// row has been handed over. The block stays valid until the next call.
bool nextResultBlock(resultCursorStruct& cursor);

#endif  // RELMERGE_JOIN_RESULT_CURSOR_H_
