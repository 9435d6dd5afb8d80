#include "check/text_report.h"

#include "check/text_forms.h"

namespace {

constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kBoldRed = "\x1b[1;31m";
constexpr std::string_view kBoldMagenta = "\x1b[1;35m";
constexpr std::string_view kPlain = "\x1b[0m";

std::string counted(size_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// Wraps `text` in `colour` when colours are on.
std::string painted(std::string_view text, std::string_view colour, bool on) {
  std::string out;
  if (on) out.append(colour);
  out.append(text);
  if (on) out.append(kPlain);
  return out;
}

void appendDiagnostic(std::string& out, const diagnosticStruct& diagnostic,
                      const textReportOptionsStruct& options) {
  std::string place = std::string(options.scriptName) + ":" + std::to_string(diagnostic.line) + ":";
  out += painted(place, kBold, options.colour);
  out += ' ';
  bool error = diagnostic.severity == severityKind::error;
  out += painted(error ? "error:" : "warning:", error ? kBoldRed : kBoldMagenta, options.colour);
  out += ' ';
  out += diagnostic.message;
  if (diagnostic.moreLines > 0) {
    out += " (and " + counted(diagnostic.moreLines, "more line", "more lines") + " like it)";
  }
  out += " [";
  out.append(diagnostic.code);
  out += "]\n";
}

std::string attributeList(const std::vector<fieldStruct>& fields) {
  std::string list = "(";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) list += ", ";
    list += quotedAttribute(fields[i]);
  }
  return list + ")";
}

std::string commonList(const std::vector<fieldStruct>& fields) {
  std::string list = attributeList(fields);
  return list.substr(1, list.size() - 2);
}

void appendRelations(reportOutStruct& reportOut, const checkReportStruct& report) {
  std::string& out = reportOut.text;
  for (size_t i = 0; i < report.script.mainVec.size(); ++i) {
    handOn(reportOut);
    const mainStruct& relation = report.script.mainVec[i];
    const relationReportStruct& summary = report.relations[i];
    out += "relation " + quoted(relation.name) + ", line " + std::to_string(summary.line) + ": " +
           attributeList(relation.fields) + ", " + counted(relation.rows.size(), "row", "rows");
    if (summary.shorterRows > 0) {
      out += ", " + std::to_string(summary.shorterRows) + " shorter than its heading";
    }
    if (summary.longerRows > 0) {
      out += ", " + std::to_string(summary.longerRows) + " longer than its heading";
    }
    out += '\n';
  }
}

void appendJoin(std::string& out, const checkReportStruct& report) {
  const std::vector<std::string_view>& names = report.script.joinVec;
  if (report.joinLines.empty()) {
    out += "join request: none\n";
    return;
  }
  out += report.joinLines.size() == 1 ? "join request, line " : "join request, lines ";
  for (size_t i = 0; i < report.joinLines.size(); ++i) {
    out += (i > 0 ? ", " : "") + std::to_string(report.joinLines[i].line);
  }
  out += ":";
  for (size_t i = 0; i < names.size(); ++i) out += (i > 0 ? ", " : " ") + quoted(names[i]);
  out += '\n';
  for (const stepReportStruct& step : report.steps) {
    const mainStruct& relation = report.script.mainVec[static_cast<size_t>(step.table)];
    out += "  " + quoted(relation.name) + " (line " +
           std::to_string(report.relations[static_cast<size_t>(step.table)].line) + "): ";
    out += step.common.empty() ? "Cartesian product" : "natural join on " + commonList(step.common);
    out += '\n';
  }
}

void appendResult(std::string& out, const checkReportStruct& report) {
  if (report.outcome == outcomeKind::joinStructure) {
    out += "result: none; relmerge writes its join-structure message instead\n";
    return;
  }
  if (report.outcome == outcomeKind::unknownRelation) {
    out += "result: none; relmerge writes that it cannot find a relation instead\n";
    return;
  }
  if (report.outcome == outcomeKind::tooLarge) {
    out += "result: none; the join is too large, and relmerge tells that memory ran out\n";
    return;
  }
  bigCountStruct rows = report.count.rows;
  std::string rowCount = decimalOf(rows);
  out += "result: " + attributeList(report.heading) + ", " + rowCount +
         (rowCount == "1" ? " row" : " rows");
  std::string trimmed = decimalOf(report.count.trimmed);
  if (trimmed == "0") {
    out += "; trimming drops no row\n";
  } else {
    out += "; trimming drops " + trimmed +
           (trimmed == "1" ? " leading short row\n" : " leading short rows\n");
  }
}

}  // namespace

void writeTextReport(const checkReportStruct& report, const textReportOptionsStruct& options,
                     reportOutStruct& out) {
  for (const diagnosticStruct& diagnostic : report.diagnostics) {
    appendDiagnostic(out.text, diagnostic, options);
    handOn(out);
  }
  if (options.quiet) return;
  if (!report.diagnostics.empty()) out.text += '\n';
  appendRelations(out, report);
  appendJoin(out.text, report);
  appendResult(out.text, report);
}
