#include "output/ordered_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "util/worker_pool.h"

namespace {

// The bytes of chunk `chunk`: its length varies from none to several buffers' worth, so that
// chunks end mid-buffer, fill buffers exactly and outrun them.
std::string chunkBytes(size_t chunk, size_t capacity) {
  size_t lengths[] = {0, 1, capacity - 1, capacity, capacity + 1, 3 * capacity + 5, 17};
  size_t length = lengths[chunk % std::size(lengths)];
  std::string bytes;
  for (size_t i = 0; i < length; ++i) bytes += static_cast<char>('a' + (chunk * 7 + i) % 26);
  return bytes;
}

// Writes `chunks` chunks through `workers` threads, taking chunks in order as the writer of
// the result does; a chunk goes out partly by single bytes and partly in texts.
void writeChunks(sinkStruct& out, size_t workers, size_t chunks, size_t capacity) {
  orderedOutputStruct ordered;
  openOrderedOutput(ordered, out, workers, capacity);
  std::atomic<size_t> next{0};
  workerPoolStruct pool(workers);
  forEachTask(pool, workers, [&](size_t worker) {
    sinkStruct sink = pieceSink(ordered, worker);
    for (size_t chunk = next++; chunk < chunks; chunk = next++) {
      beginChunk(sink, chunk);
      std::string bytes = chunkBytes(chunk, capacity);
      size_t half = bytes.size() / 2;
      for (size_t i = 0; i < half; ++i) writeByte(sink, bytes[i]);
      writeText(sink, std::string_view(bytes).substr(half));
      EXPECT_EQ(bytes.size(), endChunk(sink)) << "chunk " << chunk;
    }
  });
  closeOrderedOutput(ordered);
}

std::string expectedChunks(std::string_view before, size_t chunks, size_t capacity) {
  std::string expected(before);
  for (size_t chunk = 0; chunk < chunks; ++chunk) expected += chunkBytes(chunk, capacity);
  return expected;
}

TEST(OrderedOutput, ChunksComeOutInOrderWhateverTheWorkers) {
  struct Case {
    size_t workers;
    size_t chunks;
    size_t capacity;
  } cases[] = {
      {1, 40, 8},  {2, 0, 8},    {2, 1, 8},   {2, 200, 2},   {2, 200, 8},
      {3, 300, 5}, {4, 500, 16}, {8, 97, 64}, {2, 50, 4096},
  };
  for (const Case& c : cases) {
    std::string out;
    sinkStruct sink = textSink(out);
    writeText(sink, "before ");
    writeChunks(sink, c.workers, c.chunks, c.capacity);
    writeText(sink, " after");
    flushSink(sink);
    EXPECT_EQ(expectedChunks("before ", c.chunks, c.capacity) + " after", out)
        << c.workers << " workers, " << c.chunks << " chunks, capacity " << c.capacity;
  }
}

// To a file the pieces go out as gathered writes, many to a request.
TEST(OrderedOutput, FileReceivesEveryPieceInOrder) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  sinkStruct sink = fileSink(fileno(file));
  writeText(sink, "head\n");
  writeChunks(sink, 3, 700, 32);
  EXPECT_TRUE(flushSink(sink));
  std::string expected = expectedChunks("head\n", 700, 32);
  std::string written(expected.size() + 1, '\0');
  ssize_t got = ::pread(fileno(file), written.data(), written.size(), 0);
  std::fclose(file);
  ASSERT_EQ(static_cast<ssize_t>(expected.size()), got);
  written.resize(expected.size());
  EXPECT_EQ(expected, written);
}

// Once the file refuses bytes, the workers learn it as they hand over buffers, and nothing
// hangs; what they make after that is dropped.
TEST(OrderedOutput, FailedFileIsReportedToTheWorkers) {
  FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  sinkStruct sink = fileSink(fileno(full));
  orderedOutputStruct ordered;
  openOrderedOutput(ordered, sink, 2, 16);
  constexpr size_t kChunks = 200;
  std::atomic<size_t> next{0};
  std::vector<int> failedAfter(kChunks, 0);
  workerPoolStruct pool(2);
  forEachTask(pool, 2, [&](size_t worker) {
    sinkStruct piece = pieceSink(ordered, worker);
    bool failedBefore = false;
    for (size_t chunk = next++; chunk < kChunks; chunk = next++) {
      beginChunk(piece, chunk);
      // More than a buffer: every chunk hands one over, and with it writes what is due.
      writeText(piece, std::string(40, 'x'));
      endChunk(piece);
      failedAfter[chunk] = piece.failed ? 1 : 0;
      EXPECT_TRUE(piece.failed || !failedBefore) << "a failure is not forgotten";
      failedBefore = piece.failed;
    }
  });
  closeOrderedOutput(ordered);
  EXPECT_TRUE(sink.failed);
  EXPECT_GT(std::count(failedAfter.begin(), failedAfter.end(), 1), 150);
  std::fclose(full);
}

// A file that has failed before the rows begin: the workers learn it with their first chunk,
// and the output closes.
TEST(OrderedOutput, FileThatFailedBeforeIsReportedAtOnce) {
  std::string out;
  sinkStruct sink = textSink(out);
  sink.failed = true;
  orderedOutputStruct ordered;
  openOrderedOutput(ordered, sink, 2, 16);
  std::atomic<size_t> next{0};
  std::atomic<int> unaware{0};
  workerPoolStruct pool(2);
  forEachTask(pool, 2, [&](size_t worker) {
    sinkStruct piece = pieceSink(ordered, worker);
    for (size_t chunk = next++; chunk < 10; chunk = next++) {
      beginChunk(piece, chunk);
      if (!piece.failed) ++unaware;
      writeText(piece, "abc");
      endChunk(piece);
    }
  });
  closeOrderedOutput(ordered);
  EXPECT_EQ(0, unaware);
  EXPECT_TRUE(sink.failed);
}

}  // namespace
