#include "check/script_check.h"

#include <algorithm>

#include "check/header_traps.h"
#include "check/line_index.h"
#include "check/plan_traps.h"
#include "check/row_traps.h"
#include "join/join.h"
#include "relations/lookup.h"
#include "util/parallel.h"
#include "util/random_seed.h"

namespace {

// Reads the pieces of the script at once, as a run does, and indexes its lines beside them.
void readInPieces(std::string_view text, size_t workers, scriptStruct& script,
                  lineIndexStruct& lines) {
  std::vector<size_t> cuts = scriptCuts(text, workers);
  size_t pieces = cuts.size() - 1;
  std::vector<scriptStruct> read(pieces);
  forEachTaskInParallel(workers, pieces + 1, [&](size_t /*worker*/, size_t task) {
    if (task == pieces) {
      lines = indexLines(text);
      return;
    }
    read[task] = readScript(text.substr(cuts[task], cuts[task + 1] - cuts[task]));
  });
  script = joinPieces(read);
}

outcomeKind outcomeOf(const scriptStruct& script, const std::vector<int32_t>& tables) {
  if (script.joinVec.size() < 2) return outcomeKind::joinStructure;
  bool unknown = std::find(tables.begin(), tables.end(), -1) != tables.end();
  return unknown ? outcomeKind::unknownRelation : outcomeKind::result;
}

void describeSteps(checkReportStruct& report, const joinPlanStruct& plan) {
  report.heading = plan.fields;
  for (const stepStruct& step : plan.steps) {
    stepReportStruct described;
    described.table = step.table;
    const mainStruct& relation = report.script.mainVec[static_cast<size_t>(step.table)];
    for (int32_t position : step.rightPositions) {
      described.common.push_back(relation.fields[static_cast<size_t>(position)]);
    }
    report.steps.push_back(std::move(described));
  }
}

// Where the runs of whole relations start that the workers scan one at a time: each about
// kScanRows rows, so that a script of a million small relations makes few runs.
constexpr size_t kScanRows = size_t{1} << 16;

std::vector<size_t> scanRuns(const std::vector<mainStruct>& mainVec) {
  std::vector<size_t> starts = {0};
  size_t rows = 0;
  for (size_t i = 0; i < mainVec.size(); ++i) {
    rows += mainVec[i].rows.size() + 1;
    if (rows >= kScanRows && i + 1 < mainVec.size()) {
      starts.push_back(i + 1);
      rows = 0;
    }
  }
  starts.push_back(mainVec.size());
  return starts;
}

void checkRelation(checkReportStruct& report, size_t i, const comparedValueStruct& compared,
                   const lineIndexStruct& lines, std::vector<diagnosticStruct>& diagnostics) {
  const mainStruct& relation = report.script.mainVec[i];
  relationReportStruct& summary = report.relations[i];
  summary.line = lineOf(lines, relation.name);
  checkHeader(relation, lines, diagnostics);
  rowScanStruct scan = scanRows(relation, compared.values);
  summary.shorterRows = scan.shorterRows;
  summary.longerRows = scan.longerRows;
  reportRowTraps(relation, scan, compared, lines, diagnostics);
}

// Scans every relation, and counts the result beside the scans.
void scanAndCount(checkReportStruct& report, const joinStruct* join,
                  const std::vector<comparedValueStruct>& compared, const lineIndexStruct& lines,
                  size_t workers) {
  const std::vector<mainStruct>& mainVec = report.script.mainVec;
  report.relations.resize(mainVec.size());
  std::vector<size_t> runs = scanRuns(mainVec);
  std::vector<std::vector<diagnosticStruct>> found(runs.size() - 1);
  forEachTaskInParallel(workers, found.size() + 1, [&](size_t /*worker*/, size_t task) {
    if (task == 0) {
      if (join != nullptr) report.count = countResult(*join);
      return;
    }
    size_t run = task - 1;
    for (size_t i = runs[run]; i < runs[run + 1]; ++i) {
      checkRelation(report, i, compared[i], lines, found[run]);
    }
  });
  for (std::vector<diagnosticStruct>& diagnostics : found) {
    std::move(diagnostics.begin(), diagnostics.end(), std::back_inserter(report.diagnostics));
  }
}

}  // namespace

checkReportStruct checkScript(std::string_view text, size_t workers) {
  checkReportStruct report;
  lineIndexStruct lines;
  readInPieces(text, workers, report.script, lines);
  const scriptStruct& script = report.script;
  uint64_t seed = randomSeed();
  report.tables = findTables(script.joinVec, script.mainVec, seed);
  report.outcome = outcomeOf(script, report.tables);
  report.joinLines = joinLinesOf(script.joinVec, lines);
  std::vector<comparedValueStruct> compared(script.mainVec.size());
  joinStruct join;
  bool result = report.outcome == outcomeKind::result;
  if (result) {
    join = prepareJoin(script.mainVec, report.tables, workers, seed);
    compared = comparedValuesOf(script.mainVec, report.tables, join.plan);
    describeSteps(report, join.plan);
  }
  scanAndCount(report, result ? &join : nullptr, compared, lines, workers);
  std::vector<diagnosticStruct>& diagnostics = report.diagnostics;
  checkDuplicateRelations(script.mainVec, lines, diagnostics);
  checkJoinLines(report.joinLines, script.joinVec, report.tables, diagnostics);
  if (result) checkTypeMismatches(script.mainVec, report.tables, join.plan, lines, diagnostics);
  checkJoinRequest(script.mainVec, script.joinVec, report.tables, report.joinLines, lines,
                   diagnostics);
  std::stable_sort(
      diagnostics.begin(), diagnostics.end(),
      [](const diagnosticStruct& a, const diagnosticStruct& b) { return a.line < b.line; });
  return report;
}
