#ifndef RELMERGE_CHECK_ROW_TRAPS_H_
#define RELMERGE_CHECK_ROW_TRAPS_H_

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "check/diagnostic.h"
#include "check/line_index.h"
#include "relations/records.h"

// The traps a data line can hold.
enum rowTrapKind : size_t {
  kBlankLineRow,        // a line of blanks, which does not end the block
  kHeaderRow,           // a header written right under the rows
  kJoinLineRow,         // a join line written right under the rows
  kLeadingBlankRow,     // a first value that starts with a blank
  kBlankAfterCommaRow,  // a value after a comma that still starts with a blank or tab
  kTrailingBlankRow,    // a value that ends with a blank or tab
  kMissingValueRow,     // no value at a position the join compares
  kRowTrapKinds
};

// The rows of a relation that hold one trap: how many, the first of them, and the value in it
// that shows the trap (the row itself for a trap of the whole line).
struct rowTrapStruct {
  size_t rows = 0;
  std::string_view firstRow;
  std::string_view example;
};

// What the rows of a relation hold.
struct rowScanStruct {
  std::array<rowTrapStruct, kRowTrapKinds> traps;
  size_t shorterRows = 0;  // fewer values than the relation has attributes
  size_t longerRows = 0;   // more values than it has attributes
};

// Scans the rows of `relation`. A row with fewer than `comparedValues` values lacks a value
// that the join compares (0 when the join compares none of the relation's).
rowScanStruct scanRows(const mainStruct& relation, size_t comparedValues);

// The attribute whose value a row needs for the join to compare it: the last position compared.
struct comparedValueStruct {
  size_t values = 0;  // values a row must hold; 0 when none is compared
  fieldStruct field;  // the attribute at the last compared position
};

// The findings of the scan of every row of `relation`, one per trap, on the first row that
// holds it.
void reportRowTraps(const mainStruct& relation, const rowScanStruct& scan,
                    const comparedValueStruct& compared, const lineIndexStruct& lines,
                    std::vector<diagnosticStruct>& diagnostics);

// Whether a line reads like the header of a relation: a name, then declarations of a name and
// a type in brackets.
bool looksLikeHeader(std::string_view line);

// Whether a data line reads like a join line: the word join, then names in brackets.
bool looksLikeJoinLine(std::string_view line);

#endif  // RELMERGE_CHECK_ROW_TRAPS_H_
