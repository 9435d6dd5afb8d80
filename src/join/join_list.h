#ifndef RELMERGE_JOIN_JOIN_LIST_H_
#define RELMERGE_JOIN_JOIN_LIST_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "join/row_index.h"
#include "relations/reader.h"

// The join numbers the rows of a relation in 32 bits, of which the index takes the highest to
// mark the last row of a chain; no row number may have it, and none may equal kNoRow with it.
inline constexpr size_t kMostRelationRows = kLastRow - 1;
// Attributes, relations and names are counted by signed 32-bit positions.
inline constexpr size_t kMostPositions = INT32_MAX;

// How large a join may be: beyond these numbers its rows and positions would wrap around.
struct joinLimitsStruct {
  size_t mostRows = kMostRelationRows;    // of a relation of the join
  size_t mostPositions = kMostPositions;  // attributes of a relation or of the result,
                                          // relations of the script, names of the join list
};

enum class joinListKind {
  kTooFewNames,  // fewer than two names: nothing to join
  kPastLimits,   // the script, or a relation the list names, is too large to join
  kUnknownName,  // a name that no relation carries
  kTables,       // every name found: the join can be prepared
};

// What the join list of a script asks for.
struct joinListVerdictStruct {
  joinListKind kind = joinListKind::kTooFewNames;
  size_t unknownName = 0;       // kUnknownName: the position in the list of the first such name
  std::vector<int32_t> tables;  // kTables: the relation that each name of the list stands for
};

// The verdict on the join list of `script`, whose names are hashed under `seed` to be looked
// up. A list of two names or more is past `limits` when the script has too many relations or
// the list too many names, before a name is looked up, or, once every name is found, when a
// relation it names has too many rows or attributes.
joinListVerdictStruct joinListVerdict(const scriptStruct& script, uint64_t seed,
                                      const joinLimitsStruct& limits = {});

#endif  // RELMERGE_JOIN_JOIN_LIST_H_
