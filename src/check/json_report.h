#ifndef RELMERGE_CHECK_JSON_REPORT_H_
#define RELMERGE_CHECK_JSON_REPORT_H_

#include <string>

#include "check/script_check.h"

// The report as one JSON document. Texts of the script become valid UTF-8: each well-formed
// UTF-8 sequence as it stands, each other byte as the character U+0080 to U+00FF of its value.
// A count past 2^64 - 1 is a string of its decimal digits.
std::string jsonReport(const checkReportStruct& report);

#endif  // RELMERGE_CHECK_JSON_REPORT_H_
