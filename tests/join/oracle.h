#ifndef RELMERGE_TESTS_JOIN_ORACLE_H_
#define RELMERGE_TESTS_JOIN_ORACLE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "relations/records.h"

// The join as the literal nested loops over all pairs, with the attribute lookups made per
// pair and every row a list of copied values. It is the reference the engine is checked
// against, so it favours being obviously right over being fast.

// A joined relation: its heading and its rows of copied values.
struct oracleRelationStruct {
  std::vector<fieldStruct> fields;
  std::vector<std::vector<std::string>> rows;
};

// The result of joining the relations named by `joinVec`, from left to right, before the
// leading short rows are dropped. Every name must be carried by some relation of `mainVec`,
// and `joinVec` must hold at least two names.
oracleRelationStruct oracleJoin(const std::vector<mainStruct>& mainVec,
                                const std::vector<std::string_view>& joinVec);

// oracleJoin that gives up, answering false, once a step has made more than `maxRows` rows.
bool oracleJoinWithin(const std::vector<mainStruct>& mainVec,
                      const std::vector<std::string_view>& joinVec, size_t maxRows,
                      oracleRelationStruct& result);

// The result block that follows the echo: "\n", the heading line of "result", the rows from
// the first row of the longest length on, "\n". Same preconditions as oracleJoin.
std::string oracleResultBlock(const std::vector<mainStruct>& mainVec,
                              const std::vector<std::string_view>& joinVec);

// The result block of a join that oracleJoinWithin finishes; false when it gives up.
bool oracleResultBlockWithin(const std::vector<mainStruct>& mainVec,
                             const std::vector<std::string_view>& joinVec, size_t maxRows,
                             std::string& block);

#endif  // RELMERGE_TESTS_JOIN_ORACLE_H_
