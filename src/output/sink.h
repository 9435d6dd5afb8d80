#ifndef RELMERGE_OUTPUT_SINK_H_
#define RELMERGE_OUTPUT_SINK_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "relations/large_allocator.h"

// Buffered writes to a file descriptor, or to a string in tests. A failed write is remembered
// rather than reported at once, so the caller decides once, at the end, what to tell the user.
struct sinkStruct {
  int fd = -1;
  std::string* target = nullptr;  // when set, receives everything instead of `fd`
  std::unique_ptr<char[], largeBlockDeleter<char>> buffer;
  size_t used = 0;
  bool failed = false;
};

inline constexpr size_t kSinkCapacity = size_t{1} << 20;

sinkStruct fileSink(int fd);
sinkStruct textSink(std::string& target);

// Hands the buffered bytes on; answers false once any write so far has failed.
bool flushSink(sinkStruct& sink);

// Writes `text` past the buffer when it is larger than what is left of it.
void writeLarge(sinkStruct& sink, std::string_view text);

inline void writeText(sinkStruct& sink, std::string_view text) {
  if (kSinkCapacity - sink.used >= text.size()) {
    if (!text.empty()) std::memcpy(sink.buffer.get() + sink.used, text.data(), text.size());
    sink.used += text.size();
    return;
  }
  writeLarge(sink, text);
}

inline void writeByte(sinkStruct& sink, char byte) {
  if (sink.used == kSinkCapacity) flushSink(sink);
  sink.buffer[sink.used++] = byte;
}

#endif  // RELMERGE_OUTPUT_SINK_H_
