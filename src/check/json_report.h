#ifndef RELMERGE_CHECK_JSON_REPORT_H_
#define RELMERGE_CHECK_JSON_REPORT_H_

#include "check/report_out.h"
#include "check/script_check.h"

// Writes the report as one JSON document: an object of one member a line, whose lists hold
// one element a line. Texts of the script become valid UTF-8: each well-formed UTF-8 sequence
// as it stands, each other byte as the character U+0080 to U+00FF of its value. A count past
// 2^64 - 1 is a string of its decimal digits.
void writeJsonReport(const checkReportStruct& report, reportOutStruct& out);

#endif  // RELMERGE_CHECK_JSON_REPORT_H_
