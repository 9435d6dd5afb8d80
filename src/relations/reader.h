#ifndef RELMERGE_RELATIONS_READER_H_
#define RELMERGE_RELATIONS_READER_H_

#include <string_view>
#include <vector>

#include "relations/records.h"

// What a script defines: its relations in input order and the names its join lines request.
struct scriptStruct {
  std::vector<mainStruct> mainVec;
  std::vector<std::string_view> joinVec;
};

// Reads every line of `text`. Every name, type and value is a view into `text`, which must
// outlive the result. Nothing is rejected: an odd line yields odd records.
scriptStruct readScript(std::string_view text);

#endif  // RELMERGE_RELATIONS_READER_H_
