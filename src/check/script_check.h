#ifndef RELMERGE_CHECK_SCRIPT_CHECK_H_
#define RELMERGE_CHECK_SCRIPT_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "check/diagnostic.h"
#include "check/join_traps.h"
#include "join/count.h"
#include "relations/reader.h"
#include "util/worker_pool.h"

// How a run of relmerge on the script ends.
enum class outcomeKind { result, joinStructure, unknownRelation, tooLarge };

struct relationReportStruct {
  size_t line = 0;         // of its header
  size_t shorterRows = 0;  // rows with fewer values than it has attributes
  size_t longerRows = 0;   // rows with more
};

// A step of the join: the relation joined into the result so far, and the attributes compared.
struct stepReportStruct {
  int32_t table = -1;               // catalogue position
  std::vector<fieldStruct> common;  // empty for a Cartesian product
};

// How relmerge reads a script and what it would do with it. Every text is a view into the
// script, which must outlive the report.
struct checkReportStruct {
  scriptStruct script;
  std::vector<relationReportStruct> relations;  // one per relation of the catalogue
  std::vector<joinLineStruct> joinLines;
  std::vector<int32_t> tables;  // catalogue position of each join name, -1 where none
  outcomeKind outcome = outcomeKind::joinStructure;
  // Only when the outcome is a result:
  std::vector<stepReportStruct> steps;
  std::vector<fieldStruct> heading;
  resultCountStruct count;
  std::vector<diagnosticStruct> diagnostics;  // in line order
};

// Reads `text` as relmerge does, with the workers of `pool`, and finds its traps.
checkReportStruct checkScript(std::string_view text, workerPoolStruct& pool);

#endif  // RELMERGE_CHECK_SCRIPT_CHECK_H_
