#include "join/plan.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "relations/lookup.h"
#include "util/seeded_hash.h"

namespace {

// Seeded, so that no script can make its attributes all collide.
struct fieldHash {
  uint64_t seed = 0;
  size_t operator()(const fieldStruct& field) const {
    return hashBytes(field.type, hashBytes(field.name, seed));
  }
};

struct fieldEqual {
  bool operator()(const fieldStruct& a, const fieldStruct& b) const { return sameField(a, b); }
};

// The first position of every attribute of a list: the answers of findField, in constant time,
// so that wide headings are not scanned once per attribute.
using fieldPositions = std::unordered_map<fieldStruct, int32_t, fieldHash, fieldEqual>;

void appendField(std::vector<fieldStruct>& fields, fieldPositions& positions,
                 const fieldStruct& field) {
  positions.emplace(field, static_cast<int32_t>(fields.size()));
  fields.push_back(field);
}

int32_t positionOf(const fieldPositions& positions, const fieldStruct& field) {
  auto found = positions.find(field);
  return found == positions.end() ? -1 : found->second;
}

fieldPositions positionsOf(const std::vector<fieldStruct>& fields, uint64_t seed) {
  fieldPositions positions(0, fieldHash{seed});
  for (size_t i = 0; i < fields.size(); ++i) positions.emplace(fields[i], static_cast<int32_t>(i));
  return positions;
}

// The common attributes are the joined relation's attributes that the heading holds. One
// declared twice is compared at its first position only, so it yields one pair.
void findCommonPositions(const std::vector<fieldStruct>& joinedFields,
                         const fieldPositions& joinedPositions,
                         const fieldPositions& headingPositions, stepStruct& step) {
  std::vector<bool> seen(joinedFields.size(), false);
  for (const fieldStruct& field : joinedFields) {
    int32_t left = positionOf(headingPositions, field);
    if (left < 0) continue;
    int32_t right = positionOf(joinedPositions, field);
    if (seen[static_cast<size_t>(right)]) continue;
    seen[static_cast<size_t>(right)] = true;
    step.leftPositions.push_back(left);
    step.rightPositions.push_back(right);
  }
  step.skippedPositions = step.rightPositions;
  std::sort(step.skippedPositions.begin(), step.skippedPositions.end());
}

}  // namespace

joinPlanStruct planJoin(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                        uint64_t seed) {
  joinPlanStruct plan;
  plan.firstTable = tables[0];
  fieldPositions headingPositions(0, fieldHash{seed});
  for (const fieldStruct& field : mainVec[static_cast<size_t>(tables[0])].fields) {
    appendField(plan.fields, headingPositions, field);
  }
  // A relation named many times is hashed once.
  std::map<int32_t, fieldPositions> joinedPositions;
  for (size_t i = 1; i < tables.size(); ++i) {
    const std::vector<fieldStruct>& joinedFields = mainVec[static_cast<size_t>(tables[i])].fields;
    auto cached = joinedPositions.try_emplace(tables[i]);
    if (cached.second) cached.first->second = positionsOf(joinedFields, seed);
    stepStruct step;
    step.table = tables[i];
    findCommonPositions(joinedFields, cached.first->second, headingPositions, step);
    bool cartesian = step.rightPositions.empty();
    for (const fieldStruct& field : joinedFields) {
      // A natural join adds only what the heading lacks, counting what this step added.
      if (cartesian || positionOf(headingPositions, field) < 0) {
        appendField(plan.fields, headingPositions, field);
      }
    }
    plan.steps.push_back(std::move(step));
  }
  return plan;
}
