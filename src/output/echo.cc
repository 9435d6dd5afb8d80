#include "output/echo.h"

#include <cstring>

void writeEcho(sinkStruct& sink, std::string_view script) {
  // Hands on each run between CR LF pairs as one text: a large one goes out without passing
  // through the buffer.
  size_t start = 0;
  size_t from = 0;
  while (from < script.size()) {
    const void* cr = std::memchr(script.data() + from, '\r', script.size() - from);
    if (cr == nullptr) break;
    size_t at = static_cast<size_t>(static_cast<const char*>(cr) - script.data());
    if (script.size() - at >= 2 && script[at + 1] == '\n') {
      writeText(sink, script.substr(start, at - start));
      start = at + 1;
    }
    from = at + 1;
  }
  writeText(sink, script.substr(start));
  writeByte(sink, '\n');
}
