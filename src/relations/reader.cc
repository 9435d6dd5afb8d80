#include "relations/reader.h"

#include "relations/items.h"
#include "relations/lines.h"
#include "relations/lookup.h"

namespace {

void appendJoinNames(std::string_view line, std::vector<std::string_view>& joinVec) {
  forEachItem(bracketText(line), [&joinVec](std::string_view name) { joinVec.push_back(name); });
}

// Counting the block first lets its rows be stored once, at their size: growing the list as
// it fills would copy it again and again and hold up to twice the room it needs.
size_t countBlockLines(lineCursorStruct cursor) {
  size_t count = 0;
  std::string_view line;
  while (nextLine(cursor, line) && !line.empty()) ++count;
  return count;
}

// Takes the block after a header: every line up to the first line of zero characters is a
// row, whatever it holds, so "join" and "(" mean nothing inside a block.
mainStruct readRelation(std::string_view header, lineCursorStruct& cursor) {
  mainStruct relation;
  relation.rows.base = header.data();
  relation.name = header.substr(0, header.find('('));
  forEachItem(bracketText(header),
              [&relation](std::string_view item) { relation.fields.push_back(attributeOf(item)); });
  relation.rows.reserve(countBlockLines(cursor));
  std::string_view line;
  while (nextLine(cursor, line) && !line.empty()) relation.rows.push_back(line);
  return relation;
}

}  // namespace

scriptStruct readScript(std::string_view text) {
  scriptStruct script;
  lineCursorStruct cursor{text};
  std::string_view line;
  while (nextLine(cursor, line)) {
    // "join" is tested first: a header whose text holds it is a join line.
    if (containsText("join", line)) {
      appendJoinNames(line, script.joinVec);
    } else if (containsText("(", line)) {
      script.mainVec.push_back(readRelation(line, cursor));
    }
  }
  return script;
}
