#ifndef RELMERGE_OUTPUT_SINK_H_
#define RELMERGE_OUTPUT_SINK_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "util/large_allocator.h"

struct orderedOutputStruct;

using sinkBufferPtr = std::unique_ptr<char[], largeBlockDeleter<char>>;

// Buffered writes to a file descriptor, or to a string in tests, or as pieces of output made
// out of order (output/ordered_output.h). A failed write is remembered rather than reported at
// once, so the caller decides once, at the end, what to tell the user.
struct sinkStruct {
  int fd = -1;
  std::string* target = nullptr;  // when set, receives everything instead of `fd`
  sinkBufferPtr ownBuffer;        // `buffer` of a sink that has one of its own
  // When set, `buffer` belongs to it, and is handed to it in pieces of chunks.
  orderedOutputStruct* ordered = nullptr;
  size_t worker = 0;
  size_t bufferId = 0;
  size_t chunk = 0;
  size_t pieceStart = 0;  // where the chunk's bytes in `buffer` begin
  size_t chunkBytes = 0;  // of the chunk, handed over so far
  char* buffer = nullptr;
  size_t capacity = 0;
  size_t used = 0;
  bool failed = false;
};

inline constexpr size_t kSinkCapacity = size_t{1} << 20;

// A buffer of `capacity` bytes.
sinkBufferPtr sinkBuffer(size_t capacity);

sinkStruct fileSink(int fd);
sinkStruct textSink(std::string& target);

// Hands the buffered bytes on; answers false once any write so far has failed.
bool flushSink(sinkStruct& sink);

// Writes `text` past the buffer when it is larger than what is left of it.
void writeLarge(sinkStruct& sink, std::string_view text);

// Hands `texts` on at once, in one request where the sink goes to a file; the buffer must be
// empty.
void writeUnbuffered(sinkStruct& sink, std::span<const std::string_view> texts);

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
