#include "join/join_list.h"

#include <algorithm>
#include <utility>

#include "relations/lookup.h"

namespace {

// Whether positions can count the relations of `script` and the names of its join list.
bool catalogueWithinLimits(const scriptStruct& script, const joinLimitsStruct& limits) {
  return script.mainVec.size() <= limits.mostPositions &&
         script.joinVec.size() <= limits.mostPositions;
}

// Whether every relation at `tables` can have its rows numbered and its attributes counted.
bool relationsWithinLimits(const std::vector<mainStruct>& mainVec,
                           const std::vector<int32_t>& tables, const joinLimitsStruct& limits) {
  return std::all_of(tables.begin(), tables.end(), [&](int32_t table) {
    const mainStruct& relation = mainVec[static_cast<size_t>(table)];
    return relation.rows.size() <= limits.mostRows &&
           relation.fields.size() <= limits.mostPositions;
  });
}

}  // namespace

joinListVerdictStruct joinListVerdict(const scriptStruct& script, uint64_t seed,
                                      const joinLimitsStruct& limits) {
  joinListVerdictStruct verdict;
  if (script.joinVec.size() < 2) return verdict;
  verdict.kind = joinListKind::kPastLimits;
  if (!catalogueWithinLimits(script, limits)) return verdict;
  std::vector<int32_t> tables = findTables(script.joinVec, script.mainVec, seed);
  auto unknown = std::find(tables.begin(), tables.end(), -1);
  if (unknown != tables.end()) {
    verdict.kind = joinListKind::kUnknownName;
    verdict.unknownName = static_cast<size_t>(unknown - tables.begin());
    return verdict;
  }
  if (!relationsWithinLimits(script.mainVec, tables, limits)) return verdict;
  verdict.kind = joinListKind::kTables;
  verdict.tables = std::move(tables);
  return verdict;
}
