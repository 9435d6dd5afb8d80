#include "util/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/worker_pool.h"

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

// Below this a second reader costs more to start than it saves.
constexpr size_t kSplitReadSize = size_t{8} << 20;
constexpr size_t kSplitAlignment = size_t{2} << 20;  // parts start on a huge page

// Reads [from, to) of `fd` into `bytes` + from; the bytes read, fewer at the file's end, or
// -1 when a read fails.
ssize_t readPart(int fd, char* bytes, size_t from, size_t to) {
  size_t at = from;
  while (at < to) {
    ssize_t got = ::pread(fd, bytes + at, to - at, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    at += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(at - from);
}

// Reads the regular file `fd` of `fileSize` bytes, from its start, in two halves at once;
// false when a read fails. The first half's end is where the input stops if it comes back
// short.
bool readHalves(int fd, inputTextStruct& input, size_t fileSize, workerPoolStruct& pool) {
  size_t split = fileSize / 2 / kSplitAlignment * kSplitAlignment;
  ssize_t got[2] = {0, 0};
  forEachTask(pool, 2, [&](size_t part) {
    got[part] = part == 0 ? readPart(fd, input.bytes.get(), 0, split)
                          : readPart(fd, input.bytes.get(), split, fileSize);
  });
  if (got[0] < 0 || got[1] < 0) return false;
  auto first = static_cast<size_t>(got[0]);
  input.size = first < split ? first : split + static_cast<size_t>(got[1]);
  // Whatever the file holds past what was read, should it have grown, comes the usual way.
  return ::lseek(fd, static_cast<off_t>(input.size), SEEK_SET) >= 0;
}

// The size of the regular file open as `fd`; 0 for an empty one or anything else.
size_t regularFileSize(int fd) {
  struct stat info;
  bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
  return regular ? static_cast<size_t>(info.st_size) : 0;
}

// Maps the regular file `fd` of `fileSize` bytes whole; an empty input when the system cannot
// map it, as some special files that call themselves regular refuse.
inputTextStruct mapWhole(int fd, size_t fileSize) {
  inputTextStruct input;
  // Pages come as they are first touched: the workers that parse the pieces of the script
  // share that work, where filling the page tables up front would be one thread's alone.
  void* start = ::mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
  if (start == MAP_FAILED) return input;
  // A join reads the rows it finds at random, all over the script: where the page cache holds
  // the file in 2 MiB folios, mapping them whole spares those reads most of their page walks,
  // and the echo's copy most of its faults. A system that cannot ignores the advice.
  ::madvise(start, fileSize, MADV_HUGEPAGE);
  input.mapping = {static_cast<const char*>(start), fileMappingDeleter{fileSize}};
  input.size = fileSize;
  return input;
}

// Reads what `fd` holds from where it stands into fresh memory; `fileSize` is the size of a
// regular file, 0 for anything else.
inputTextStruct readCopy(int fd, size_t fileSize, off_t start, workerPoolStruct& pool) {
  inputTextStruct input;
  size_t capacity = 0;
  if (fileSize >= kSplitReadSize && poolWorkers(pool) > 1 && start == 0) {
    // Fresh memory is most of a large read's cost, and two processors fault it in faster than
    // one.
    reserveInput(input, capacity, fileSize + 1, false);
    if (!readHalves(fd, input, fileSize, pool)) {
      input.readFailed = true;
      return input;
    }
  } else if (fileSize > 0) {
    // One byte past the size lets the read that meets the end of a regular file be the second.
    reserveInput(input, capacity, fileSize + 1, true);
  } else {
    reserveInput(input, capacity, kFirstReadSize, false);
  }
  for (;;) {
    if (input.size == capacity) reserveInput(input, capacity, capacity * 2, false);
    ssize_t got = ::read(fd, input.bytes.get() + input.size, capacity - input.size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) input.readFailed = true;
    if (got <= 0) break;
    input.size += static_cast<size_t>(got);
  }
  return input;
}

}  // namespace

void fileMappingDeleter::operator()(const char* start) const {
  ::munmap(const_cast<char*>(start), size);
}

int openForWriting(const char* path) { return openRetrying(path, O_WRONLY | O_CREAT | O_TRUNC); }

int openKeeping(const char* path) { return openRetrying(path, O_WRONLY | O_CREAT); }

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
  // A regular file loses its contents when opened for writing, and a FIFO would take the
  // output back in as input and never come to its end; a terminal or a device named twice is
  // harmless.
  bool endangered = S_ISREG(input.st_mode) || S_ISFIFO(input.st_mode);
  return endangered && input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

bool isSameOpenFile(int a, int b) {
  struct stat first;
  struct stat second;
  if (a < 0 || b < 0 || ::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

inputTextStruct readAll(int fd, workerPoolStruct& pool) {
  size_t fileSize = regularFileSize(fd);
  return readCopy(fd, fileSize, fileSize > 0 ? ::lseek(fd, 0, SEEK_CUR) : -1, pool);
}

inputTextStruct mapOrReadAll(int fd, workerPoolStruct& pool) {
  size_t fileSize = regularFileSize(fd);
  off_t start = fileSize > 0 ? ::lseek(fd, 0, SEEK_CUR) : -1;
  if (start == 0) {
    inputTextStruct mapped = mapWhole(fd, fileSize);
    if (mapped.mapping) return mapped;
  }
  return readCopy(fd, fileSize, start, pool);
}

namespace {

// Requests carry at most this many bytes. The page cache of a file takes blocks as large as
// the requests that fill it, up to 2 MiB: a request of many MiB takes them from the largest
// free blocks, which a virtual machine may have handed back to its host after another program
// freed them, and filling them then costs several times the copy. Requests of 128 KiB, as cat
// makes, take blocks from memory in use.
constexpr size_t kMostBytesPerWrite = size_t{1} << 17;

// The next request's vectors: what is left of `parts` from byte `skip` of the first part on,
// at most kMostBytesPerWrite bytes. Answers how many vectors it filled.
int gatherRequest(std::span<const std::string_view> parts, size_t skip, std::span<iovec> vectors) {
  size_t count = 0;
  size_t bytes = 0;
  for (; count < parts.size() && count < vectors.size() && bytes < kMostBytesPerWrite; ++count) {
    std::string_view part = parts[count].substr(count == 0 ? skip : 0);
    part = part.substr(0, kMostBytesPerWrite - bytes);
    vectors[count] = {const_cast<char*>(part.data()), part.size()};
    bytes += part.size();
  }
  return static_cast<int>(count);
}

// Moves past `done` written bytes: whole parts are dropped, and `skip` says how much of the
// first one that is left has been written.
void passWritten(std::span<const std::string_view>& parts, size_t& skip, size_t done) {
  while (done > 0) {
    size_t rest = std::min(done, parts.front().size() - skip);
    skip += rest;
    done -= rest;
    if (skip == parts.front().size()) {
      parts = parts.subspan(1);
      skip = 0;
    }
  }
}

}  // namespace

bool writeAll(int fd, const char* data, size_t size) {
  std::string_view whole(data, size);
  return writeAllOf(fd, {&whole, 1});
}

bool writeAllOf(int fd, std::span<const std::string_view> parts) {
  constexpr size_t kMostParts = 64;  // well below any system's limit
  iovec vectors[kMostParts];
  size_t skip = 0;
  for (;;) {
    while (!parts.empty() && parts.front().size() == skip) {
      parts = parts.subspan(1);
      skip = 0;
    }
    if (parts.empty()) return true;
    int count = gatherRequest(parts, skip, vectors);
    ssize_t put = ::writev(fd, vectors, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    passWritten(parts, skip, static_cast<size_t>(put));
  }
}

bool fileShorterThan(int fd, size_t size) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
         static_cast<size_t>(info.st_size) < size;
}

bool emptyFile(int fd) { return ::ftruncate(fd, 0) == 0; }

bool closeFile(int fd) { return fd < 0 || ::close(fd) == 0; }
