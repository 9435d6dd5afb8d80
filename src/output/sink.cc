#include "output/sink.h"

#include <algorithm>

#include "output/ordered_output.h"
#include "util/files.h"

namespace {

void handOn(sinkStruct& sink, const char* data, size_t size) {
  std::string_view text(data, size);
  writeUnbuffered(sink, {&text, 1});
}

// A sink with a buffer of its own. The buffer may see little more than the heading when the
// rows are made in pieces, so it is faulted in as it is filled.
sinkStruct bufferedSink() {
  sinkStruct sink;
  sink.ownBuffer = {largeAllocator<char>().allocateLazily(kSinkCapacity),
                    largeBlockDeleter<char>{kSinkCapacity}};
  sink.buffer = sink.ownBuffer.get();
  sink.capacity = kSinkCapacity;
  return sink;
}

}  // namespace

// A piece's buffer is filled whole, over and over, so it is faulted in at once.
sinkBufferPtr sinkBuffer(size_t capacity) {
  return {largeAllocator<char>().allocate(capacity), largeBlockDeleter<char>{capacity}};
}

sinkStruct fileSink(int fd) {
  sinkStruct sink = bufferedSink();
  sink.fd = fd;
  return sink;
}

sinkStruct textSink(std::string& target) {
  sinkStruct sink = bufferedSink();
  sink.target = &target;
  return sink;
}

bool flushSink(sinkStruct& sink) {
  if (sink.ordered != nullptr) {
    passFullBuffer(*sink.ordered, sink);
    return !sink.failed;
  }
  handOn(sink, sink.buffer, sink.used);
  sink.used = 0;
  return !sink.failed;
}

void writeLarge(sinkStruct& sink, std::string_view text) {
  if (sink.ordered != nullptr) {
    // A piece is a buffer: a long text goes through as many as it fills.
    while (!text.empty()) {
      if (sink.used == sink.capacity) flushSink(sink);
      size_t part = std::min(text.size(), sink.capacity - sink.used);
      std::memcpy(sink.buffer + sink.used, text.data(), part);
      sink.used += part;
      text.remove_prefix(part);
    }
    return;
  }
  flushSink(sink);
  if (text.size() >= sink.capacity) {
    handOn(sink, text.data(), text.size());
    return;
  }
  std::memcpy(sink.buffer, text.data(), text.size());
  sink.used = text.size();
}

void writeUnbuffered(sinkStruct& sink, std::span<const std::string_view> texts) {
  if (sink.target != nullptr) {
    for (std::string_view text : texts) sink.target->append(text);
  } else if (!sink.failed && !writeAllOf(sink.fd, texts)) {
    // Once a write has failed the file is incomplete; later bytes are dropped, not retried.
    sink.failed = true;
  }
}
