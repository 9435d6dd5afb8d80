#ifndef RELMERGE_OUTPUT_SINK_H_
#define RELMERGE_OUTPUT_SINK_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "util/large_allocator.h"

struct sinkStruct;

// Takes the bytes buffered in `sink` and after them `after`, texts that do not go through the
// buffer, and sets `failed` once a write has failed. It leaves the buffer empty, the same one
// or another, but for the tail of `after` that a drain taking only whole buffers keeps in it.
using drainFunction = void (*)(sinkStruct& sink, std::span<const std::string_view> after);

// Where the bytes of a sink go: the function that takes them, and what it writes them to.
struct drainStruct {
  drainFunction take = nullptr;
  void* place = nullptr;  // the record `take` writes to
  int fd = -1;            // the file `take` writes to
};

using sinkBufferPtr = std::unique_ptr<char[], largeBlockDeleter<char>>;

// Bytes gathered in a buffer and handed to a drain when it is full or flushed. A failed write
// is remembered rather than reported at once, so the caller decides once, at the end, what
// to tell the user.
struct sinkStruct {
  char* buffer = nullptr;
  size_t capacity = 0;
  size_t used = 0;
  bool failed = false;
  drainStruct drain;
  sinkBufferPtr memory;  // `buffer`, when the sink owns it
};

inline constexpr size_t kSinkCapacity = size_t{1} << 20;

// A buffer of `capacity` bytes, faulted in at once.
sinkBufferPtr sinkBuffer(size_t capacity);

// Sinks with a buffer of their own, which writes to `fd`, or appends to `target`.
sinkStruct fileSink(int fd, size_t capacity = kSinkCapacity);
sinkStruct textSink(std::string& target, size_t capacity = kSinkCapacity);

// Hands the buffered bytes on, then `after` past the buffer; answers false once any write so
// far has failed.
inline bool flushSink(sinkStruct& sink, std::span<const std::string_view> after = {}) {
  sink.drain.take(sink, after);
  return !sink.failed;
}

// Writes `text`, which is larger than what is left of the buffer.
void writeLarge(sinkStruct& sink, std::string_view text);

// Copies up to 32 bytes without a call: most texts written are values of a few bytes, whose
// copy costs less than a call to the library's. Two copies of a fixed size, one from each
// end, cover every length between that size and twice it.
inline void copyShort(char* to, const char* from, size_t size) {
  auto fromBothEnds = [&]<size_t kSize>() {
    std::memcpy(to, from, kSize);
    std::memcpy(to + size - kSize, from + size - kSize, kSize);
  };
  if (size >= 16) {
    fromBothEnds.template operator()<16>();
  } else if (size >= 8) {
    fromBothEnds.template operator()<8>();
  } else if (size >= 4) {
    fromBothEnds.template operator()<4>();
  } else if (size > 0) {
    to[0] = from[0];
    to[size / 2] = from[size / 2];
    to[size - 1] = from[size - 1];
  }
}

inline void writeText(sinkStruct& sink, std::string_view text) {
  if (sink.capacity - sink.used >= text.size()) {
    if (text.size() <= 32) {
      copyShort(sink.buffer + sink.used, text.data(), text.size());
    } else {
      std::memcpy(sink.buffer + sink.used, text.data(), text.size());
    }
    sink.used += text.size();
    return;
  }
  writeLarge(sink, text);
}

inline void writeByte(sinkStruct& sink, char byte) {
  if (sink.used == sink.capacity) flushSink(sink);
  sink.buffer[sink.used++] = byte;
}

#endif  // RELMERGE_OUTPUT_SINK_H_
