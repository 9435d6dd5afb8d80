#include "relations/reader.h"

#include "relations/block_shape.h"
#include "relations/items.h"
#include "relations/lines.h"
#include "relations/lookup.h"

namespace {

void appendJoinNames(std::string_view line, std::vector<std::string_view>& joinVec) {
  forEachItem(bracketText(line), [&joinVec](std::string_view name) { joinVec.push_back(name); });
}

// Takes the block after a header: every line up to the first line of zero characters is a
// row, whatever it holds, so "join" and "(" mean nothing inside a block.
mainStruct readRelation(std::string_view header, lineCursorStruct& cursor) {
  mainStruct relation;
  relation.rows.base = header.data();
  relation.name = header.substr(0, header.find('('));
  forEachItem(bracketText(header),
              [&relation](std::string_view item) { relation.fields.push_back(attributeOf(item)); });
  blockShapeStruct shape = measureBlock(cursor.rest);
  relation.rows.reserve(shape.rows);
  relation.rowItems = shape.rowItems;
  relation.commasSpaced = shape.commasSpaced;
  size_t used = forEachBlockRow(
      cursor.rest, [&relation](std::string_view row) { relation.rows.push_back(row); });
  cursor = lineCursorStruct{cursor.rest.substr(used)};
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
