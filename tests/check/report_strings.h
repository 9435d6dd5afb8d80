#ifndef RELMERGE_TESTS_CHECK_REPORT_STRINGS_H_
#define RELMERGE_TESTS_CHECK_REPORT_STRINGS_H_

#include <string>

#include "check/json_report.h"
#include "check/report_out.h"
#include "check/text_report.h"

// The reports gathered whole, for comparing.

inline std::string textReport(const checkReportStruct& report,
                              const textReportOptionsStruct& options) {
  std::string text;
  reportOutStruct out = reportInto(text);
  writeTextReport(report, options, out);
  finishReport(out);
  return text;
}

inline std::string jsonReport(const checkReportStruct& report) {
  std::string text;
  reportOutStruct out = reportInto(text);
  writeJsonReport(report, out);
  finishReport(out);
  return text;
}

#endif  // RELMERGE_TESTS_CHECK_REPORT_STRINGS_H_
