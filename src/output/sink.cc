#include "output/sink.h"

#include "driver/files.h"

namespace {

void handOn(sinkStruct& sink, const char* data, size_t size) {
  if (size == 0) return;
  if (sink.target != nullptr) {
    sink.target->append(data, size);
  } else if (!sink.failed && !writeAll(sink.fd, data, size)) {
    // Once a write has failed the file is incomplete; later bytes are dropped, not retried.
    sink.failed = true;
  }
}

// The buffer is filled whole by any output larger than it, so it is faulted in at once.
std::unique_ptr<char[], largeBlockDeleter<char>> sinkBuffer() {
  return {largeAllocator<char>().allocate(kSinkCapacity), largeBlockDeleter<char>{kSinkCapacity}};
}

}  // namespace

sinkStruct fileSink(int fd) {
  sinkStruct sink;
  sink.fd = fd;
  sink.buffer = sinkBuffer();
  return sink;
}

sinkStruct textSink(std::string& target) {
  sinkStruct sink;
  sink.target = &target;
  sink.buffer = sinkBuffer();
  return sink;
}

bool flushSink(sinkStruct& sink) {
  handOn(sink, sink.buffer.get(), sink.used);
  sink.used = 0;
  return !sink.failed;
}

void writeLarge(sinkStruct& sink, std::string_view text) {
  flushSink(sink);
  if (text.size() >= kSinkCapacity) {
    handOn(sink, text.data(), text.size());
    return;
  }
  std::memcpy(sink.buffer.get(), text.data(), text.size());
  sink.used = text.size();
}
