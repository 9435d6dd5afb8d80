#include "check/script_check.h"

#include <algorithm>

#include "check/header_traps.h"
#include "check/line_index.h"
#include "check/plan_traps.h"
#include "check/row_traps.h"
#include "join/join.h"
#include "join/join_list.h"
#include "relations/lookup.h"
#include "util/random_seed.h"
#include "util/worker_pool.h"

namespace {

// How a run of relmerge on the script ends, as the run's own verdict on its join list says.
outcomeKind outcomeOf(joinListKind verdict) {
  switch (verdict) {
    case joinListKind::kTooFewNames:
      return outcomeKind::joinStructure;
    case joinListKind::kPastLimits:
      return outcomeKind::tooLarge;
    case joinListKind::kUnknownName:
      return outcomeKind::unknownRelation;
    case joinListKind::kTables:
      break;
  }
  return outcomeKind::result;
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
                  workerPoolStruct& pool) {
  const std::vector<mainStruct>& mainVec = report.script.mainVec;
  report.relations.resize(mainVec.size());
  std::vector<size_t> runs = scanRuns(mainVec);
  std::vector<std::vector<diagnosticStruct>> found(runs.size() - 1);
  besideJobStruct counting(pool, [&report, join] {
    if (join != nullptr) report.count = countResult(*join);
  });
  forEachTask(pool, found.size(), [&](size_t run) {
    for (size_t i = runs[run]; i < runs[run + 1]; ++i) {
      checkRelation(report, i, compared[i], lines, found[run]);
    }
  });
  waitFor(counting);
  for (std::vector<diagnosticStruct>& diagnostics : found) {
    std::move(diagnostics.begin(), diagnostics.end(), std::back_inserter(report.diagnostics));
  }
}

// Reads the script as a run does, and indexes its lines beside the reading.
void readAndIndex(std::string_view text, workerPoolStruct& pool, checkReportStruct& report,
                  lineIndexStruct& lines) {
  besideJobStruct indexing(pool, [&lines, text] { lines = indexLines(text); });
  report.script = readScriptInPieces(text, pool);
  waitFor(indexing);
  report.joinLines = joinLinesOf(report.script.joinVec, lines);
}

// The findings on the join list and the join, in line order after those of the relations.
void checkTheJoin(checkReportStruct& report, const joinStruct& join, const lineIndexStruct& lines) {
  const scriptStruct& script = report.script;
  std::vector<diagnosticStruct>& diagnostics = report.diagnostics;
  checkDuplicateRelations(script.mainVec, lines, diagnostics);
  checkJoinLines(report.joinLines, script.joinVec, report.tables, diagnostics);
  if (report.outcome == outcomeKind::result) {
    checkTypeMismatches(script.mainVec, report.tables, join.plan, lines, diagnostics);
  }
  if (report.outcome == outcomeKind::tooLarge) {
    checkJoinSize(report.joinLines, diagnostics);
  } else {
    checkJoinRequest(script.mainVec, script.joinVec, report.tables, report.joinLines, lines,
                     diagnostics);
  }
  std::stable_sort(
      diagnostics.begin(), diagnostics.end(),
      [](const diagnosticStruct& a, const diagnosticStruct& b) { return a.line < b.line; });
}

}  // namespace

checkReportStruct checkScript(std::string_view text, workerPoolStruct& pool) {
  checkReportStruct report;
  lineIndexStruct lines;
  readAndIndex(text, pool, report, lines);
  const scriptStruct& script = report.script;
  uint64_t seed = randomSeed();
  joinListVerdictStruct verdict = joinListVerdict(script, seed);
  report.outcome = outcomeOf(verdict.kind);
  // Every unknown name is told, not only the first, which is all the verdict names.
  report.tables = findTables(script.joinVec, script.mainVec, seed);
  std::vector<comparedValueStruct> compared(script.mainVec.size());
  joinStruct join;
  bool result = report.outcome == outcomeKind::result;
  if (result) {
    join = prepareJoin(script.mainVec, verdict.tables, seed, pool);
    compared = comparedValuesOf(script.mainVec, report.tables, join.plan);
    describeSteps(report, join.plan);
  }
  scanAndCount(report, result ? &join : nullptr, compared, lines, pool);
  checkTheJoin(report, join, lines);
  return report;
}
