#ifndef RELMERGE_CHECK_REPORT_OUT_H_
#define RELMERGE_CHECK_REPORT_OUT_H_

#include <functional>
#include <string>
#include <string_view>

// Where a report goes. A report on a script of a million relations runs to hundreds of
// megabytes, so it is handed on in pieces as it is made rather than held whole.
struct reportOutStruct {
  // Takes the next piece of the report; false when it could not.
  std::function<bool(std::string_view)> take;
  std::string text;  // made, not yet taken
  bool failed = false;
};

// A report out that gathers the whole report in `target`.
reportOutStruct reportInto(std::string& target);

// Hands on what `out.text` holds once it is large enough to be worth a write.
void handOn(reportOutStruct& out);

// Hands on the rest; false when some piece could not be taken.
bool finishReport(reportOutStruct& out);

#endif  // RELMERGE_CHECK_REPORT_OUT_H_
