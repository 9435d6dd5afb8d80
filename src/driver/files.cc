#include "driver/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kFirstReadSize = size_t{1} << 16;

int openRetrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Grows `input` to hold at least `capacity` bytes, keeping what it holds. A block the input
// fills whole, as a regular file's does, is faulted in at once; the input of a pipe may leave
// most of the last doubling unused, so its pages come as they are read into.
void reserveInput(inputTextStruct& input, size_t& capacity, size_t wanted, bool filled) {
  if (wanted <= capacity) return;
  largeAllocator<char> allocator;
  std::unique_ptr<char[], largeBlockDeleter<char>> bigger(
      filled ? allocator.allocate(wanted) : allocator.allocateLazily(wanted),
      largeBlockDeleter<char>{wanted});
  if (input.size > 0) std::memcpy(bigger.get(), input.bytes.get(), input.size);
  input.bytes = std::move(bigger);
  capacity = wanted;
}

}  // namespace

int openForWriting(const char* path) { return openRetrying(path, O_WRONLY | O_CREAT | O_TRUNC); }

int openForReading(const char* path) {
  int fd = openRetrying(path, O_RDONLY);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool isSameFile(int fd, const char* path) {
  struct stat input;
  struct stat output;
  if (::fstat(fd, &input) != 0 || ::stat(path, &output) != 0) return false;
  // Only a regular file loses its contents when opened for writing; a terminal or a device
  // named twice is harmless.
  return S_ISREG(input.st_mode) && input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

inputTextStruct readAll(int fd) {
  inputTextStruct input;
  size_t capacity = 0;
  struct stat info;
  bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
  // One byte past the size lets the read that meets the end of a regular file be the second.
  if (regular) {
    reserveInput(input, capacity, static_cast<size_t>(info.st_size) + 1, true);
  } else {
    reserveInput(input, capacity, kFirstReadSize, false);
  }
  for (;;) {
    if (input.size == capacity) reserveInput(input, capacity, capacity * 2, false);
    ssize_t got = ::read(fd, input.bytes.get() + input.size, capacity - input.size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    input.size += static_cast<size_t>(got);
  }
  return input;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool writeAllOf(int fd, std::span<const std::string_view> parts) {
  constexpr size_t kMostParts = 64;  // well below any system's limit
  iovec vectors[kMostParts];
  for (;;) {
    while (!parts.empty() && parts.front().empty()) parts = parts.subspan(1);
    if (parts.empty()) return true;
    size_t count = std::min(parts.size(), kMostParts);
    for (size_t i = 0; i < count; ++i) {
      vectors[i].iov_base = const_cast<char*>(parts[i].data());
      vectors[i].iov_len = parts[i].size();
    }
    ssize_t put = ::writev(fd, vectors, static_cast<int>(count));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    auto done = static_cast<size_t>(put);
    while (!parts.empty() && done >= parts.front().size()) {
      done -= parts.front().size();
      parts = parts.subspan(1);
    }
    // A short write leaves the rest of a part: it is finished on its own.
    if (done > 0) {
      if (!writeAll(fd, parts.front().data() + done, parts.front().size() - done)) return false;
      parts = parts.subspan(1);
    }
  }
}

bool closeFile(int fd) { return fd < 0 || ::close(fd) == 0; }
