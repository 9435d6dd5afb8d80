#ifndef RELMERGE_TESTS_TEST_UTIL_H_
#define RELMERGE_TESTS_TEST_UTIL_H_

#include <string>
#include <string_view>
#include <vector>

#include "relations/items.h"
#include "relations/reader.h"
#include "relations/records.h"

// A relation as one short line: "R(a int,b char)[1,x][2,y]". Names, types and values are
// shown with their blanks, so a stray blank shows up in a failed comparison.
inline std::string dump(const mainStruct& relation) {
  std::string text(relation.name);
  text += '(';
  for (size_t i = 0; i < relation.fields.size(); ++i) {
    if (i > 0) text += ',';
    text.append(relation.fields[i].name).append(" ").append(relation.fields[i].type);
  }
  text += ')';
  std::vector<std::string_view> values;
  for (std::string_view row : relation.rows) {
    splitItems(row, values);
    text += '[';
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) text += ',';
      text.append(values[i]);
    }
    text += ']';
  }
  return text;
}

// Every relation of a script, then its join list: "R(a int)[1] S(b int) join[R,S]".
inline std::string dump(const scriptStruct& script) {
  std::string text;
  for (const mainStruct& relation : script.mainVec) text.append(dump(relation)).append(" ");
  text += "join[";
  for (size_t i = 0; i < script.joinVec.size(); ++i) {
    if (i > 0) text += ',';
    text.append(script.joinVec[i]);
  }
  text += ']';
  return text;
}

#endif  // RELMERGE_TESTS_TEST_UTIL_H_
