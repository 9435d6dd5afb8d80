#ifndef RELMERGE_JOIN_COUNT_H_
#define RELMERGE_JOIN_COUNT_H_

#include <cstddef>

#include "join/join.h"
#include "util/big_count.h"

// What the result block of a join holds, worked out without making the text of a row.
struct resultCountStruct {
  bigCountStruct rows;     // rows written, after the leading short rows are dropped
  bigCountStruct trimmed;  // leading rows shorter than the longest, dropped
};

// Counts the result rows of `join`. Trailing Cartesian products are counted by multiplying
// and the last natural step by the rows of each key, so only the levels before that step are
// walked.
resultCountStruct countResult(const joinStruct& join);

#endif  // RELMERGE_JOIN_COUNT_H_
