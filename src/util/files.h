#ifndef RELMERGE_UTIL_FILES_H_
#define RELMERGE_UTIL_FILES_H_

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "util/large_allocator.h"
#include "util/worker_pool.h"

// Unmaps a file mapped whole into memory.
struct fileMappingDeleter {
  size_t size = 0;
  void operator()(const char* start) const;
};

// The whole input in one buffer: every record of a run is a view into it. The buffer is either
// memory of its own or the mapped file.
struct inputTextStruct {
  std::unique_ptr<char[], largeBlockDeleter<char>> bytes;
  std::unique_ptr<const char, fileMappingDeleter> mapping;
  size_t size = 0;
  bool readFailed = false;  // a read failed: the bytes are not the whole input
  std::string_view text() const { return {mapping ? mapping.get() : bytes.get(), size}; }
};

// Opens `path` for writing, created or emptied; -1 when it cannot be.
int openForWriting(const char* path);

// Opens `path` for writing, created if missing, its contents kept; -1 when it cannot be.
int openKeeping(const char* path);

// Opens `path` for reading; -1 when it cannot be or when it is a folder.
int openForReading(const char* path);

// True when `path` names the regular file or FIFO open as `fd` (same device and inode): opening
// it for writing would empty the input, or feed the input with the output.
bool isSameFile(int fd, const char* path);

// True when the files open as `a` and `b`, both open, are one file (same device and inode).
bool isSameOpenFile(int a, int b);

// Reads all that `fd` holds, with few large reads, on up to two of the workers of `pool`. A
// read that fails ends the reading, with readFailed set.
inputTextStruct readAll(int fd, workerPoolStruct& pool);

// All that `fd` holds, as readAll gives it, but a regular file read from its start is mapped
// instead of copied. A file that shrinks while mapped raises SIGBUS where its lost bytes are
// touched: the caller must handle the signal.
inputTextStruct mapOrReadAll(int fd, workerPoolStruct& pool);

// Writes all of `size` bytes at `data` to `fd`; false when some of them could not be written.
bool writeAll(int fd, const char* data, size_t size);

// writeAll for the bytes of `parts` one after another, with as few requests as the system
// allows.
bool writeAllOf(int fd, std::span<const std::string_view> parts);

// True when the regular file open as `fd` now holds fewer than `size` bytes.
bool fileShorterThan(int fd, size_t size);

// Empties the regular file open as `fd`; false when it cannot be, as a pipe cannot.
bool emptyFile(int fd);

// Closes `fd` unless it is -1; false when the close reports a failed write.
bool closeFile(int fd);

#endif  // RELMERGE_UTIL_FILES_H_
