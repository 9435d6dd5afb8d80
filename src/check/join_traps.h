#ifndef RELMERGE_CHECK_JOIN_TRAPS_H_
#define RELMERGE_CHECK_JOIN_TRAPS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "check/diagnostic.h"
#include "check/line_index.h"
#include "relations/records.h"

// A join line of a script and the names of the join list that it holds.
struct joinLineStruct {
  size_t line = 0;
  std::string_view text;  // without its line end
  size_t firstName = 0;   // position in the join list
  size_t names = 0;
};

// The join lines that hold the names of `joinVec`, in script order.
std::vector<joinLineStruct> joinLinesOf(const std::vector<std::string_view>& joinVec,
                                        const lineIndexStruct& lines);

// Findings on the join lines: a header or a comment read as a join line because it holds
// "join", and names that no relation carries because of a blank in them. `tables` holds the
// catalogue position of each name, -1 for one that no relation carries.
void checkJoinLines(const std::vector<joinLineStruct>& joinLines,
                    const std::vector<std::string_view>& joinVec,
                    const std::vector<int32_t>& tables, std::vector<diagnosticStruct>& diagnostics);

// The error of a join too large for relmerge to number its rows or positions, on the last join
// line: relmerge then writes no result, and tells that memory ran out.
void checkJoinSize(const std::vector<joinLineStruct>& joinLines,
                   std::vector<diagnosticStruct>& diagnostics);

// The errors that leave relmerge without a result: a join list of fewer than two names, on the
// last join line (line 1 without one), and each name that no relation carries, on its line,
// with the relation meant where a name differs from it only by blanks or ASCII case.
void checkJoinRequest(const std::vector<mainStruct>& mainVec,
                      const std::vector<std::string_view>& joinVec,
                      const std::vector<int32_t>& tables,
                      const std::vector<joinLineStruct>& joinLines, const lineIndexStruct& lines,
                      std::vector<diagnosticStruct>& diagnostics);

#endif  // RELMERGE_CHECK_JOIN_TRAPS_H_
