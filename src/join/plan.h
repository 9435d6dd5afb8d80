#ifndef RELMERGE_JOIN_PLAN_H_
#define RELMERGE_JOIN_PLAN_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "relations/items.h"
#include "relations/records.h"

inline constexpr std::string_view kResultName = "result";

// One step of the fold: the relation joined into the result so far.
struct stepStruct {
  int32_t table = -1;  // its position in the catalogue
  // The result row's value at leftPositions[k] must equal the joined row's value at
  // rightPositions[k]. Both empty for a Cartesian product.
  std::vector<int32_t> leftPositions;
  std::vector<int32_t> rightPositions;
  // Positions of the joined row whose values are not copied, ascending.
  std::vector<int32_t> skippedPositions;
};

// The join worked out on headings alone, before any row is looked at.
struct joinPlanStruct {
  int32_t firstTable = -1;
  std::vector<fieldStruct> fields;  // the heading of the result
  std::vector<stepStruct> steps;    // one per further relation, in join-list order
};

// Calls visit(value) for each value that a row of the step's relation adds to the result row.
// A visit that answers false ends the walk, as in forEachItem.
template <typename Visit>
void forEachCopiedValue(const stepStruct& step, std::string_view row, Visit&& visit) {
  size_t position = 0;
  size_t skip = 0;
  const std::vector<int32_t>& skipped = step.skippedPositions;
  forEachItem(row, [&](std::string_view value) {
    bool more = true;
    if (skip < skipped.size() && static_cast<size_t>(skipped[skip]) == position) {
      ++skip;
    } else if constexpr (std::is_same_v<std::invoke_result_t<Visit&, std::string_view>, bool>) {
      more = visit(value);
    } else {
      visit(value);
    }
    ++position;
    return more;
  });
}

// The number of values a row of `items` values of the step's relation adds to the result row:
// skipped positions past the row's end take nothing away.
inline size_t copiedValueCount(const stepStruct& step, size_t items) {
  const std::vector<int32_t>& skipped = step.skippedPositions;
  auto skippedHere = std::lower_bound(skipped.begin(), skipped.end(), static_cast<int64_t>(items));
  return items - static_cast<size_t>(skippedHere - skipped.begin());
}

// How many values a row must hold to have one at each of `positions`, which are not empty.
inline size_t valuesNeeded(const std::vector<int32_t>& positions) {
  return static_cast<size_t>(*std::max_element(positions.begin(), positions.end())) + 1;
}

// Plans the join of the relations at `tables` (catalogue positions, at least two, all valid).
// Attributes are hashed under `seed` (util/random_seed.h).
joinPlanStruct planJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                        uint64_t seed);

#endif  // RELMERGE_JOIN_PLAN_H_
