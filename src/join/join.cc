#include "join/join.h"

#include <algorithm>
#include <map>
#include <utility>

#include "util/parallel.h"

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                       size_t workers, uint64_t hashSeed) {
  joinStruct join;
  join.mainVec = &mainVec;
  join.plan = planJoin(mainVec, tables, hashSeed);
  std::map<std::pair<int32_t, std::vector<int32_t>>, rowIndexStruct*> planned;
  std::vector<std::pair<rowIndexStruct*, const stepStruct*>> toBuild;
  for (const stepStruct& step : join.plan.steps) {
    if (step.rightPositions.empty()) {
      join.stepIndexes.push_back(nullptr);
      continue;
    }
    auto cached = planned.try_emplace({step.table, step.rightPositions}, nullptr);
    if (cached.second) {
      // A deque leaves its elements where they are as it grows.
      cached.first->second = &join.indexes.emplace_back();
      toBuild.emplace_back(cached.first->second, &step);
    }
    join.stepIndexes.push_back(cached.first->second);
  }
  // Workers left over when each index has one share in building the indexes of many rows.
  // Below a few million rows a lone worker measured faster than shared ones (at one and two
  // million rows); far above, where every lookup waits on memory, shared ones are faster.
  constexpr size_t kSharedIndexRows = size_t{1} << 22;
  size_t perIndex = toBuild.empty() ? 1 : std::max<size_t>(workers / toBuild.size(), 1);
  forEachTaskInParallel(workers, toBuild.size(), [&](size_t /*worker*/, size_t i) {
    const stepStruct& step = *toBuild[i].second;
    const mainStruct& relation = mainVec[static_cast<size_t>(step.table)];
    size_t shares = relation.rows.size() >= kSharedIndexRows ? perIndex : 1;
    *toBuild[i].first = buildRowIndex(relation, step.rightPositions, shares, hashSeed);
  });
  for (size_t level = 0; level <= join.plan.steps.size(); ++level) {
    int32_t table = level == 0 ? join.plan.firstTable : join.plan.steps[level - 1].table;
    const mainStruct& relation = mainVec[static_cast<size_t>(table)];
    join.levelRelations.push_back(&relation);
    join.levelItems.push_back(relation.rowItems);
    const rowIndexStruct* index = level == 0 ? nullptr : join.stepIndexes[level - 1];
    if (relation.rows.empty() || (index != nullptr && index->indexedRows == 0)) {
      join.resultIsEmpty = true;
    }
  }
  return join;
}
