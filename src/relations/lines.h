#ifndef RELMERGE_RELATIONS_LINES_H_
#define RELMERGE_RELATIONS_LINES_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "relations/scan.h"

// Cuts lines off the front of a script. A line ends at a line feed; one CR right before the
// line feed belongs to the line end, a CR anywhere else is an ordinary byte. The text after
// the last line feed is one more line, empty when the script ends with a line feed, so a
// script always holds one line more than it holds line feeds.
//
// A cursor starts from its text alone, {text}; the other members are nextLine's.
struct lineCursorStruct {
  std::string_view rest;
  bool done = false;
  // The line feeds of `rest` among the 64 bytes from `window`, one bit per byte, so that a
  // short line's end is a count of trailing zeros away. Null until the first line is cut.
  const char* window = nullptr;
  uint64_t feeds = 0;
};

// Cuts the line that ends at the first line feed of cursor.feeds, which must hold one.
inline void cutAtFirstFeed(lineCursorStruct& cursor, std::string_view& line) {
  const char* start = cursor.rest.data();
  const char* end = start + cursor.rest.size();
  const char* feed = cursor.window + std::countr_zero(cursor.feeds);
  cursor.feeds &= cursor.feeds - 1;
  cursor.rest = std::string_view(feed + 1, static_cast<size_t>(end - feed - 1));
  auto length = static_cast<size_t>(feed - start);
  if (length > 0 && start[length - 1] == '\r') --length;
  line = std::string_view(start, length);
}

// Moves the window to the next line feed, found by a library search, which outruns windows
// over long stretches: taken for the first line and for a line that has run through a whole
// window. Answers false when no line feed is left.
bool findFarFeed(lineCursorStruct& cursor);

// Moves the window on to the next line feed; answers false when none is left.
inline bool findNextFeed(lineCursorStruct& cursor) {
  const char* end = cursor.rest.data() + cursor.rest.size();
  if (cursor.window != nullptr && static_cast<size_t>(end - cursor.window) > kWindowBytes) {
    cursor.window += kWindowBytes;
    cursor.feeds = windowMask(cursor.window, end, '\n');
    if (cursor.feeds != 0) return true;
  }
  return findFarFeed(cursor);
}

// Cuts the line after the last line feed, or answers false when it has been cut.
bool cutLastLine(lineCursorStruct& cursor, std::string_view& line);

// Sets `line` to the next line and answers true, or answers false when none is left. Kept
// inline: a line of a few bytes costs less to cut than a call.
inline bool nextLine(lineCursorStruct& cursor, std::string_view& line) {
  if (cursor.feeds == 0 && !findNextFeed(cursor)) return cutLastLine(cursor, line);
  cutAtFirstFeed(cursor, line);
  return true;
}

#endif  // RELMERGE_RELATIONS_LINES_H_
