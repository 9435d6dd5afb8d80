#ifndef RELMERGE_RELATIONS_ROWS_IN_TURN_H_
#define RELMERGE_RELATIONS_ROWS_IN_TURN_H_

#include <cstddef>

#include "relations/records.h"
#include "util/prefetch.h"

// useRowsInTurn for uses that each read a few rows of relations, which lie anywhere in the
// script, each found through its entry in the row list: forEachRow(k, visit) calls
// visit(rows, row) for every row that use(k) reads, which is asked for ahead of it.
template <typename ForEachRow, typename Use>
void useRowsInTurn(size_t count, ForEachRow&& forEachRow, Use&& use) {
  useRowsInTurn(
      count,
      [&](size_t k) {
        forEachRow(k, [](const rowVec& rows, size_t row) { prefetch(&rows.packed[row]); });
      },
      [&](size_t k) {
        forEachRow(k, [](const rowVec& rows, size_t row) { prefetch(rows[row].data()); });
      },
      use);
}

#endif  // RELMERGE_RELATIONS_ROWS_IN_TURN_H_
