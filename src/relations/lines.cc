#include "relations/lines.h"

#include <cstring>

bool nextLine(lineCursorStruct& cursor, std::string_view& line) {
  if (cursor.done) return false;
  std::string_view rest = cursor.rest;
  const void* feed = rest.empty() ? nullptr : std::memchr(rest.data(), '\n', rest.size());
  if (feed == nullptr) {
    // The text after the last line feed is a line too, even when it is empty.
    line = rest;
    cursor.rest = {};
    cursor.done = true;
    return true;
  }
  size_t length = static_cast<size_t>(static_cast<const char*>(feed) - rest.data());
  cursor.rest = rest.substr(length + 1);
  if (length > 0 && rest[length - 1] == '\r') --length;
  line = rest.substr(0, length);
  return true;
}
