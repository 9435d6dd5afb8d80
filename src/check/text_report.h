#ifndef RELMERGE_CHECK_TEXT_REPORT_H_
#define RELMERGE_CHECK_TEXT_REPORT_H_

#include <string_view>

#include "check/report_out.h"
#include "check/script_check.h"

struct textReportOptionsStruct {
  std::string_view scriptName;  // as the diagnostics name the script
  bool colour = false;          // terminal colours around severities
  bool quiet = false;           // the diagnostics alone, no summary
};

// Writes the report as UTF-8 text: the diagnostics in the form compilers use,
// "SCRIPT:LINE: warning: MESSAGE [code]", one a line, then a summary of the relations, the
// join request, its steps and the result.
void writeTextReport(const checkReportStruct& report, const textReportOptionsStruct& options,
                     reportOutStruct& out);

#endif  // RELMERGE_CHECK_TEXT_REPORT_H_
