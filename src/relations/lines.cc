#include "relations/lines.h"

bool findFarFeed(lineCursorStruct& cursor) {
  const char* end = cursor.rest.data() + cursor.rest.size();
  const char* from = cursor.rest.data();
  if (cursor.window != nullptr) {
    from = static_cast<size_t>(end - cursor.window) > kWindowBytes ? cursor.window + kWindowBytes
                                                                   : end;
  }
  const char* feed = findByte(from, end, '\n');
  // A window at the end holds nothing: later calls end here at once.
  cursor.window = feed;
  cursor.feeds = windowMask(feed, end, '\n');
  return feed != end;
}

bool cutLastLine(lineCursorStruct& cursor, std::string_view& line) {
  if (cursor.done) return false;
  // The text after the last line feed is a line too, even when it is empty.
  line = cursor.rest;
  cursor.rest.remove_prefix(cursor.rest.size());
  cursor.done = true;
  return true;
}
