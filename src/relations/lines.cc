#include "relations/lines.h"

#include "util/scan.h"

bool nextLine(lineCursorStruct& cursor, std::string_view& line) {
  if (cursor.done) return false;
  std::string_view rest = cursor.rest;
  const char* end = rest.data() + rest.size();
  const char* feed = findByte(rest.data(), end, '\n');
  if (feed == end) {
    // The text after the last line feed is a line too, even when it is empty.
    line = rest;
    cursor.rest = {};
    cursor.done = true;
    return true;
  }
  size_t length = static_cast<size_t>(feed - rest.data());
  cursor.rest = rest.substr(length + 1);
  if (length > 0 && rest[length - 1] == '\r') --length;
  line = rest.substr(0, length);
  return true;
}
