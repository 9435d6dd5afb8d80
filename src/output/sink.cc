#include "output/sink.h"

#include "util/files.h"

namespace {

void drainToFile(sinkStruct& sink, std::span<const std::string_view> after) {
  std::string_view buffered(sink.buffer, sink.used);
  sink.used = 0;
  // Once a write has failed the file is incomplete; later bytes are dropped, not retried.
  if (sink.failed) return;
  sink.failed = !writeAllOf(sink.drain.fd, {&buffered, 1}) || !writeAllOf(sink.drain.fd, after);
}

void drainToText(sinkStruct& sink, std::span<const std::string_view> after) {
  std::string& target = *static_cast<std::string*>(sink.drain.place);
  target.append(sink.buffer, sink.used);
  sink.used = 0;
  for (std::string_view text : after) target.append(text);
}

// A sink with a buffer of its own. The buffer may see little more than the heading when the
// rows are made in pieces, so it is faulted in as it is filled.
sinkStruct bufferedSink(drainStruct drain, size_t capacity) {
  sinkStruct sink;
  sink.memory = {largeAllocator<char>().allocateLazily(capacity),
                 largeBlockDeleter<char>{capacity}};
  sink.buffer = sink.memory.get();
  sink.capacity = capacity;
  sink.drain = drain;
  return sink;
}

}  // namespace

// A piece's buffer is filled whole, over and over, so it is faulted in at once.
sinkBufferPtr sinkBuffer(size_t capacity) {
  return {largeAllocator<char>().allocate(capacity), largeBlockDeleter<char>{capacity}};
}

sinkStruct fileSink(int fd, size_t capacity) {
  return bufferedSink({.take = drainToFile, .fd = fd}, capacity);
}

sinkStruct textSink(std::string& target, size_t capacity) {
  return bufferedSink({.take = drainToText, .place = &target}, capacity);
}

void writeLarge(sinkStruct& sink, std::string_view text) {
  if (text.size() >= sink.capacity) {
    flushSink(sink, {&text, 1});
    return;
  }
  flushSink(sink);
  std::memcpy(sink.buffer + sink.used, text.data(), text.size());
  sink.used += text.size();
}
