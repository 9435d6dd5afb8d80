#include "join/join.h"

#include <algorithm>
#include <map>
#include <utility>

#include "util/worker_pool.h"

namespace {

// An index to build, and the step whose relation and key it indexes.
struct indexToBuildStruct {
  rowIndexStruct* index;
  const stepStruct* step;
};

// Gives every natural-join step its index, one for all steps that agree on relation and key,
// and answers the indexes to build.
std::vector<indexToBuildStruct> planIndexes(joinStruct& join) {
  std::map<std::pair<int32_t, std::vector<int32_t>>, rowIndexStruct*> planned;
  std::vector<indexToBuildStruct> toBuild;
  for (const stepStruct& step : join.plan.steps) {
    if (step.rightPositions.empty()) {
      join.stepIndexes.push_back(nullptr);
      continue;
    }
    auto cached = planned.try_emplace({step.table, step.rightPositions}, nullptr);
    if (cached.second) {
      // A deque leaves its elements where they are as it grows.
      cached.first->second = &join.indexes.emplace_back();
      toBuild.push_back({cached.first->second, &step});
    }
    join.stepIndexes.push_back(cached.first->second);
  }
  return toBuild;
}

// Indexes of this many rows or more are built one after another, all workers sharing each
// chunk of rows; before them the others are built side by side, one per worker. Below a few
// million rows a lone worker measured faster than shared ones (at one and two million rows);
// far above, where every lookup waits on memory, shared ones are faster.
constexpr size_t kSharedIndexRows = size_t{1} << 22;

void buildIndexes(const std::vector<mainStruct>& mainVec,
                  const std::vector<indexToBuildStruct>& toBuild, uint64_t hashSeed,
                  workerPoolStruct& pool) {
  auto relationOf = [&mainVec](const indexToBuildStruct& build) -> const mainStruct& {
    return mainVec[static_cast<size_t>(build.step->table)];
  };
  std::vector<indexToBuildStruct> alone;
  std::vector<indexToBuildStruct> shared;
  for (const indexToBuildStruct& build : toBuild) {
    bool large = relationOf(build).rows.size() >= kSharedIndexRows && poolWorkers(pool) > 1;
    (large ? shared : alone).push_back(build);
  }
  forEachTask(pool, alone.size(), [&](size_t i) {
    *alone[i].index = buildRowIndex(relationOf(alone[i]), alone[i].step->rightPositions, hashSeed);
  });
  for (const indexToBuildStruct& build : shared) {
    *build.index =
        buildRowIndexShared(relationOf(build), build.step->rightPositions, hashSeed, pool);
  }
}

// The relation and the row length of every level, and whether the result is empty.
void layOutLevels(joinStruct& join) {
  for (size_t level = 0; level <= join.plan.steps.size(); ++level) {
    int32_t table = level == 0 ? join.plan.firstTable : join.plan.steps[level - 1].table;
    const mainStruct& relation = (*join.mainVec)[static_cast<size_t>(table)];
    join.levelRelations.push_back(&relation);
    join.levelItems.push_back(relation.rowItems);
    const rowIndexStruct* index = level == 0 ? nullptr : join.stepIndexes[level - 1];
    if (relation.rows.empty() || (index != nullptr && index->indexedRows == 0)) {
      join.resultIsEmpty = true;
    }
  }
}

}  // namespace

joinStruct prepareJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                       uint64_t hashSeed, workerPoolStruct& pool) {
  joinStruct join;
  join.mainVec = &mainVec;
  join.plan = planJoin(mainVec, tables, hashSeed);
  buildIndexes(mainVec, planIndexes(join), hashSeed, pool);
  layOutLevels(join);
  return join;
}
