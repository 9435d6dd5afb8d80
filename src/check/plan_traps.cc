#include "check/plan_traps.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "check/text_forms.h"
#include "relations/lookup.h"

namespace {

struct fieldHash {
  size_t operator()(const fieldStruct& field) const {
    std::hash<std::string_view> hashText;
    return hashText(field.name) * 31 + hashText(field.type);
  }
};

struct fieldEqual {
  bool operator()(const fieldStruct& a, const fieldStruct& b) const { return sameField(a, b); }
};

using fieldSet = std::unordered_set<fieldStruct, fieldHash, fieldEqual>;

// The first attribute of a name among the relations joined so far, and whose it is.
struct namedFieldStruct {
  fieldStruct field;
  int32_t table = -1;
};

std::string mismatchMessage(const std::vector<mainStruct>& mainVec, int32_t table,
                            const fieldStruct& field, const namedFieldStruct& other, bool product,
                            const lineIndexStruct& lines) {
  const mainStruct& relation = mainVec[static_cast<size_t>(table)];
  const mainStruct& otherRelation = mainVec[static_cast<size_t>(other.table)];
  return "attribute " + quotedAttribute(field) + " of " + quoted(relation.name) +
         " has the name of attribute " + quotedAttribute(other.field) + " of " +
         quoted(otherRelation.name) + " (line " +
         std::to_string(lineOf(lines, otherRelation.name)) +
         ") but another type, so the two are not common" +
         (product ? ": " + quoted(relation.name) + " is joined by a Cartesian product"
                  : " and their values are not compared");
}

}  // namespace

void checkDuplicateRelations(const std::vector<mainStruct>& mainVec, const lineIndexStruct& lines,
                             std::vector<diagnosticStruct>& diagnostics) {
  std::unordered_map<std::string_view, size_t> firstOfName;
  // A script of a million relations would otherwise grow the table twenty times.
  firstOfName.reserve(mainVec.size());
  std::unordered_map<std::string_view, size_t> findingOfName;
  for (size_t i = 0; i < mainVec.size(); ++i) {
    std::string_view name = mainVec[i].name;
    auto first = firstOfName.emplace(name, i);
    if (first.second) continue;
    auto finding = findingOfName.find(name);
    if (finding != findingOfName.end()) {
      ++diagnostics[finding->second].moreLines;
      continue;
    }
    findingOfName.emplace(name, diagnostics.size());
    size_t firstLine = lineOf(lines, mainVec[first.first->second].name);
    diagnostics.push_back({lineOf(lines, name), severityKind::warning, kDuplicateRelation,
                           "relation " + quoted(name) +
                               " is defined again: the join uses its first definition, on line " +
                               std::to_string(firstLine) + ", and never this one",
                           0});
  }
}

void checkTypeMismatches(const std::vector<mainStruct>& mainVec, const std::vector<int32_t>& tables,
                         const joinPlanStruct& plan, const lineIndexStruct& lines,
                         std::vector<diagnosticStruct>& diagnostics) {
  fieldSet heading;
  std::unordered_map<std::string_view, namedFieldStruct> firstOfName;
  std::unordered_set<int32_t> joined;
  for (size_t s = 0; s < tables.size(); ++s) {
    int32_t table = tables[s];
    // A relation joined again brings no attribute the heading lacks.
    if (!joined.insert(table).second) continue;
    const std::vector<fieldStruct>& fields = mainVec[static_cast<size_t>(table)].fields;
    for (size_t i = 0; s > 0 && i < fields.size(); ++i) {
      auto other = firstOfName.find(fields[i].name);
      if (heading.count(fields[i]) > 0 || other == firstOfName.end()) continue;
      bool product = plan.steps[s - 1].rightPositions.empty();
      diagnostics.push_back(
          {lineOf(lines, mainVec[static_cast<size_t>(table)].name), severityKind::warning,
           kTypeMismatch, mismatchMessage(mainVec, table, fields[i], other->second, product, lines),
           0});
      break;
    }
    for (const fieldStruct& field : fields) {
      heading.insert(field);
      firstOfName.emplace(field.name, namedFieldStruct{field, table});
    }
  }
}

std::vector<comparedValueStruct> comparedValuesOf(const std::vector<mainStruct>& mainVec,
                                                  const std::vector<int32_t>& tables,
                                                  const joinPlanStruct& plan) {
  std::vector<comparedValueStruct> compared(mainVec.size());
  auto need = [&](int32_t table, size_t field) {
    comparedValueStruct& values = compared[static_cast<size_t>(table)];
    if (field + 1 > values.values) {
      values = {field + 1, mainVec[static_cast<size_t>(table)].fields[field]};
    }
  };
  // Where each attribute of the heading comes from, the relation and its position there, as
  // the plan lays out the heading.
  std::vector<std::pair<int32_t, size_t>> origins;
  fieldSet heading;
  std::unordered_set<int32_t> joined;
  for (size_t s = 0; s < tables.size(); ++s) {
    int32_t table = tables[s];
    bool again = !joined.insert(table).second;
    const stepStruct* step = s == 0 ? nullptr : &plan.steps[s - 1];
    bool natural = step != nullptr && !step->rightPositions.empty();
    if (natural && !again) {
      for (int32_t right : step->rightPositions) need(table, static_cast<size_t>(right));
      for (int32_t left : step->leftPositions) {
        const auto& origin = origins[static_cast<size_t>(left)];
        need(origin.first, origin.second);
      }
    }
    if (again) continue;
    const std::vector<fieldStruct>& fields = mainVec[static_cast<size_t>(table)].fields;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (heading.insert(fields[i]).second || !natural) origins.emplace_back(table, i);
    }
  }
  return compared;
}
