#ifndef RELMERGE_RELATIONS_ITEMS_H_
#define RELMERGE_RELATIONS_ITEMS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "relations/records.h"
#include "util/scan.h"

// A comma-separated text splits at every comma; one blank right after a comma is dropped,
// never more. So a text always holds one item more than it holds commas.

// Calls visit(item) for each item of `text`, in order. A visit that answers false ends the
// walk, so that a caller after the first items does not cut the rest.
template <typename Visit>
void forEachItem(std::string_view text, Visit&& visit) {
  const char* start = text.data();
  const char* end = start + text.size();
  for (;;) {
    const char* comma = findByte(start, end, ',');
    std::string_view item(start, static_cast<size_t>(comma - start));
    if constexpr (std::is_same_v<std::invoke_result_t<Visit&, std::string_view>, bool>) {
      if (!visit(item)) return;
    } else {
      visit(item);
    }
    if (comma == end) return;
    start = comma + 1;
    if (start != end && *start == ' ') ++start;
  }
}

// Sets `start` to where the item at `position` (counted from 0) starts and answers true, or
// answers false when `text` holds no item there. Kept inline, as are the two below: keys are a
// value or two of rows a few bytes long, where a call costs about as much as the search.
inline bool findItemStart(std::string_view text, size_t position, const char*& start) {
  start = text.data();
  const char* end = start + text.size();
  for (; position > 0; --position) {
    const char* comma = findByte(start, end, ',');
    if (comma == end) return false;
    start = comma + 1;
    if (start != end && *start == ' ') ++start;
  }
  return true;
}

// Sets `item` to the item at `position` and answers true, or answers false when `text` holds
// no item there.
inline bool itemAt(std::string_view text, size_t position, std::string_view& item) {
  const char* start = nullptr;
  if (!findItemStart(text, position, start)) return false;
  const char* end = text.data() + text.size();
  item = std::string_view(start, static_cast<size_t>(findByte(start, end, ',') - start));
  return true;
}

// Whether the item at `position` of `text` is `value`, which holds no comma; its end is then
// where `value` ends, with no search for it.
inline bool holdsItemAt(std::string_view text, size_t position, std::string_view value) {
  const char* start = nullptr;
  if (!findItemStart(text, position, start)) return false;
  auto left = static_cast<size_t>(text.data() + text.size() - start);
  if (left < value.size() || !sameBytes(std::string_view(start, value.size()), value)) {
    return false;
  }
  return left == value.size() || start[value.size()] == ',';
}

// Number of items of `text`: at least one.
size_t countItems(std::string_view text);

// Replaces `items` by the items of `text`, or by its first `limit` items when it holds more;
// the views point into `text`.
void splitItems(std::string_view text, std::vector<std::string_view>& items,
                size_t limit = SIZE_MAX);

// The text between the first "(" and the last ")" of a line. Without "(" it starts at the
// line's start; without a ")" at or after that start it runs to the line's end.
std::string_view bracketText(std::string_view line);

// An attribute item: name before the first blank, type after it; with no blank the whole
// item is both name and type.
fieldStruct attributeOf(std::string_view item);

#endif  // RELMERGE_RELATIONS_ITEMS_H_
