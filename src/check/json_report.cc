#include "check/json_report.h"

#include <nlohmann/json.hpp>

#include "check/text_forms.h"

namespace {

using json = nlohmann::ordered_json;

json textOf(std::string_view bytes) { return utf8Of(bytes); }

json countOf(const bigCountStruct& count) {
  uint64_t value = 0;
  if (fitsIn64(count, value)) return value;
  return decimalOf(count);
}

json attributesOf(const std::vector<fieldStruct>& fields) {
  json list = json::array();
  for (const fieldStruct& field : fields) {
    list.push_back({{"name", textOf(field.name)}, {"type", textOf(field.type)}});
  }
  return list;
}

json relationsOf(const checkReportStruct& report) {
  json list = json::array();
  for (size_t i = 0; i < report.script.mainVec.size(); ++i) {
    const mainStruct& relation = report.script.mainVec[i];
    const relationReportStruct& summary = report.relations[i];
    list.push_back({{"name", textOf(relation.name)},
                    {"line", summary.line},
                    {"attributes", attributesOf(relation.fields)},
                    {"rows", relation.rows.size()},
                    {"shorter", summary.shorterRows},
                    {"longer", summary.longerRows}});
  }
  return list;
}

json joinOf(const checkReportStruct& report) {
  json names = json::array();
  for (std::string_view name : report.script.joinVec) names.push_back(textOf(name));
  json lines = json::array();
  for (const joinLineStruct& joinLine : report.joinLines) lines.push_back(joinLine.line);
  return {{"names", std::move(names)}, {"lines", std::move(lines)}};
}

json stepsOf(const checkReportStruct& report) {
  json list = json::array();
  for (const stepReportStruct& step : report.steps) {
    auto table = static_cast<size_t>(step.table);
    list.push_back({{"relation", textOf(report.script.mainVec[table].name)},
                    {"line", report.relations[table].line},
                    {"kind", step.common.empty() ? "product" : "natural"},
                    {"common", attributesOf(step.common)}});
  }
  return list;
}

json resultOf(const checkReportStruct& report) {
  if (report.outcome != outcomeKind::result) return nullptr;
  return {{"heading", attributesOf(report.heading)},
          {"rows", countOf(report.count.rows)},
          {"trimmed", countOf(report.count.trimmed)}};
}

json diagnosticsOf(const checkReportStruct& report) {
  json list = json::array();
  for (const diagnosticStruct& diagnostic : report.diagnostics) {
    list.push_back({{"line", diagnostic.line},
                    {"severity", diagnostic.severity == severityKind::error ? "error" : "warning"},
                    {"code", std::string(diagnostic.code)},
                    {"message", textOf(diagnostic.message)},
                    {"more", diagnostic.moreLines}});
  }
  return list;
}

std::string_view outcomeName(outcomeKind outcome) {
  switch (outcome) {
    case outcomeKind::result:
      return "result";
    case outcomeKind::unknownRelation:
      return "unknown-relation";
    default:
      return "join-structure";
  }
}

}  // namespace

std::string jsonReport(const checkReportStruct& report) {
  json document = {{"outcome", std::string(outcomeName(report.outcome))},
                   {"relations", relationsOf(report)},
                   {"join", joinOf(report)},
                   {"steps", stepsOf(report)},
                   {"result", resultOf(report)},
                   {"diagnostics", diagnosticsOf(report)}};
  return document.dump(2) + "\n";
}
