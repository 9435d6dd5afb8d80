#ifndef RELMERGE_CHECK_HEADER_TRAPS_H_
#define RELMERGE_CHECK_HEADER_TRAPS_H_

#include <vector>

#include "check/diagnostic.h"
#include "check/line_index.h"
#include "relations/records.h"

// The findings on the header line of `relation`: blanks around its name, and declarations that
// a blank, a tab or a comma make other than they look. One finding per kind.
void checkHeader(const mainStruct& relation, const lineIndexStruct& lines,
                 std::vector<diagnosticStruct>& diagnostics);

#endif  // RELMERGE_CHECK_HEADER_TRAPS_H_
