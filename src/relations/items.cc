#include "relations/items.h"

size_t countItems(std::string_view text) {
  size_t count = 1;
  for (char byte : text) count += byte == ',' ? 1 : 0;
  return count;
}

void splitItems(std::string_view text, std::vector<std::string_view>& items, size_t limit) {
  items.clear();
  forEachItem(text, [&items, limit](std::string_view item) {
    items.push_back(item);
    return items.size() < limit;
  });
}

std::string_view bracketText(std::string_view line) {
  size_t open = line.find('(');
  size_t start = open == std::string_view::npos ? 0 : open + 1;
  size_t close = line.rfind(')');
  // A ")" before the text's start cannot close it; the text then runs to the line's end.
  if (close == std::string_view::npos || close < start) return line.substr(start);
  return line.substr(start, close - start);
}

fieldStruct attributeOf(std::string_view item) {
  size_t blank = item.find(' ');
  if (blank == std::string_view::npos) return {item, item};
  return {item.substr(0, blank), item.substr(blank + 1)};
}
