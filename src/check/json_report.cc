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

json relationOf(const checkReportStruct& report, size_t i) {
  const mainStruct& relation = report.script.mainVec[i];
  const relationReportStruct& summary = report.relations[i];
  return {{"name", textOf(relation.name)},
          {"line", summary.line},
          {"attributes", attributesOf(relation.fields)},
          {"rows", relation.rows.size()},
          {"shorter", summary.shorterRows},
          {"longer", summary.longerRows}};
}

json joinOf(const checkReportStruct& report) {
  json names = json::array();
  for (std::string_view name : report.script.joinVec) names.push_back(textOf(name));
  json lines = json::array();
  for (const joinLineStruct& joinLine : report.joinLines) lines.push_back(joinLine.line);
  return {{"names", std::move(names)}, {"lines", std::move(lines)}};
}

json stepOf(const checkReportStruct& report, size_t i) {
  const stepReportStruct& step = report.steps[i];
  auto table = static_cast<size_t>(step.table);
  return {{"relation", textOf(report.script.mainVec[table].name)},
          {"line", report.relations[table].line},
          {"kind", step.common.empty() ? "product" : "natural"},
          {"common", attributesOf(step.common)}};
}

json resultOf(const checkReportStruct& report) {
  if (report.outcome != outcomeKind::result) return nullptr;
  return {{"heading", attributesOf(report.heading)},
          {"rows", countOf(report.count.rows)},
          {"trimmed", countOf(report.count.trimmed)}};
}

json diagnosticOf(const checkReportStruct& report, size_t i) {
  const diagnosticStruct& diagnostic = report.diagnostics[i];
  return {{"line", diagnostic.line},
          {"severity", diagnostic.severity == severityKind::error ? "error" : "warning"},
          {"code", std::string(diagnostic.code)},
          {"message", textOf(diagnostic.message)},
          {"more", diagnostic.moreLines}};
}

std::string_view outcomeName(outcomeKind outcome) {
  switch (outcome) {
    case outcomeKind::result:
      return "result";
    case outcomeKind::unknownRelation:
      return "unknown-relation";
    case outcomeKind::tooLarge:
      return "too-large";
    case outcomeKind::joinStructure:
      break;
  }
  return "join-structure";
}

std::string keyOf(std::string_view key) { return json(std::string(key)).dump() + ": "; }

std::string_view memberEnd(bool last) { return last ? "\n" : ",\n"; }

// Writes a member of the document's object, `"key": value`, and what follows it.
void writeMember(reportOutStruct& out, std::string_view key, const json& value, bool last) {
  out.text += "  " + keyOf(key) + value.dump();
  out.text += memberEnd(last);
}

// Writes a member whose value is a list of `count` elements, one a line, each made when it is
// written.
template <typename Element>
void writeListMember(reportOutStruct& out, std::string_view key, size_t count, bool last,
                     Element&& element) {
  out.text += "  " + keyOf(key) + "[";
  for (size_t i = 0; i < count; ++i) {
    out.text += (i == 0 ? "\n    " : ",\n    ") + element(i).dump();
    handOn(out);
  }
  out.text += count == 0 ? "]" : "\n  ]";
  out.text += memberEnd(last);
}

}  // namespace

void writeJsonReport(const checkReportStruct& report, reportOutStruct& out) {
  out.text += "{\n";
  writeMember(out, "outcome", std::string(outcomeName(report.outcome)), false);
  writeListMember(out, "relations", report.script.mainVec.size(), false,
                  [&report](size_t i) { return relationOf(report, i); });
  writeMember(out, "join", joinOf(report), false);
  writeListMember(out, "steps", report.steps.size(), false,
                  [&report](size_t i) { return stepOf(report, i); });
  writeMember(out, "result", resultOf(report), false);
  writeListMember(out, "diagnostics", report.diagnostics.size(), true,
                  [&report](size_t i) { return diagnosticOf(report, i); });
  out.text += "}\n";
}
