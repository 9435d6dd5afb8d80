#include "output/sink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Texts of every length that matters to a buffer of `capacity` bytes: nothing, the short
// copies of each width, the buffer's size and either side of it, and several buffers' worth.
// Each is made of its own bytes, NUL and bytes past 0x7F among them.
std::vector<std::string> textsAround(size_t capacity) {
  const size_t lengths[] = {0,
                            1,
                            2,
                            3,
                            4,
                            7,
                            8,
                            9,
                            15,
                            16,
                            17,
                            31,
                            32,
                            33,
                            200,
                            capacity - 1,
                            capacity,
                            capacity + 1,
                            3 * capacity + 5};
  std::vector<std::string> texts;
  for (size_t length : lengths) {
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(texts.size() * 37 + i * 11);
    texts.push_back(text);
  }
  return texts;
}

// Writes the texts through `sink` `rounds` times, each after a byte and starting one text
// further on every round, so that texts and bytes meet the end of the buffer at many places;
// answers the bytes written, in order.
std::string writeRounds(sinkStruct& sink, const std::vector<std::string>& texts, size_t rounds) {
  std::string written;
  for (size_t round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < texts.size(); ++i) {
      const std::string& text = texts[(i + round) % texts.size()];
      char byte = static_cast<char>('a' + (round + i) % 26);
      writeByte(sink, byte);
      writeText(sink, text);
      written.append(1, byte).append(text);
    }
  }
  return written;
}

std::string readWhole(int fd) {
  std::string bytes;
  char part[1 << 16];
  for (off_t at = 0;;) {
    ssize_t got = ::pread(fd, part, sizeof part, at);
    if (got <= 0) return bytes;
    bytes.append(part, static_cast<size_t>(got));
    at += got;
  }
}

TEST(Sink, DrainsReceiveExactlyTheBytesWritten) {
  struct Case {
    size_t capacity;
    size_t rounds;
  } cases[] = {{1, 3}, {2, 3}, {5, 4}, {16, 4}, {33, 5}, {4096, 3}, {kSinkCapacity, 2}};
  for (const Case& c : cases) {
    std::vector<std::string> texts = textsAround(c.capacity);

    std::string appended = "kept ";
    sinkStruct text = textSink(appended, c.capacity);
    std::string expected = "kept " + writeRounds(text, texts, c.rounds);
    EXPECT_TRUE(flushSink(text));
    EXPECT_TRUE(appended == expected) << "string, capacity " << c.capacity << ": "
                                      << appended.size() << " bytes of " << expected.size();

    FILE* file = std::tmpfile();
    ASSERT_NE(nullptr, file);
    sinkStruct sink = fileSink(fileno(file), c.capacity);
    expected = writeRounds(sink, texts, c.rounds);
    EXPECT_TRUE(flushSink(sink));
    std::string written = readWhole(fileno(file));
    std::fclose(file);
    EXPECT_TRUE(written == expected) << "file, capacity " << c.capacity << ": " << written.size()
                                     << " bytes of " << expected.size();
  }
}

// Everything the pipe holds now; it is read without waiting.
std::string takeFromPipe(int fd) {
  std::string bytes;
  char part[4096];
  for (ssize_t got = ::read(fd, part, sizeof part); got > 0; got = ::read(fd, part, sizeof part)) {
    bytes.append(part, static_cast<size_t>(got));
  }
  return bytes;
}

// A pipe that does not wait: a write that finds it full fails. Once a write has failed, the
// sink says so at every flush, and writes nothing more even where it could.
TEST(FileSink, FailedWriteIsRemembered) {
  enum class way { kFlush, kByteIntoFullBuffer, kTextPastBuffer };
  const struct Case {
    const char* what;
    way fails;
  } cases[] = {
      {"a flush of a full buffer", way::kFlush},
      {"a byte into a full buffer", way::kByteIntoFullBuffer},
      {"a text larger than the buffer", way::kTextPastBuffer},
  };
  for (const Case& c : cases) {
    int fds[2];
    ASSERT_EQ(0, ::pipe2(fds, O_NONBLOCK | O_CLOEXEC));
    int pipeBytes = ::fcntl(fds[1], F_GETPIPE_SZ);
    ASSERT_GT(pipeBytes, 0);
    size_t capacity = 2 * static_cast<size_t>(pipeBytes);
    sinkStruct sink = fileSink(fds[1], capacity);
    std::string sent;
    while (sent.size() < (c.fails == way::kTextPastBuffer ? 2 * capacity : capacity)) {
      sent += static_cast<char>('a' + sent.size() % 23);
    }
    writeText(sink, sent);
    if (c.fails == way::kByteIntoFullBuffer) writeByte(sink, '!');
    EXPECT_EQ(c.fails != way::kFlush, sink.failed) << c.what;
    EXPECT_FALSE(flushSink(sink)) << c.what;

    std::string arrived = takeFromPipe(fds[0]);
    EXPECT_LT(arrived.size(), sent.size()) << c.what;
    EXPECT_EQ(sent.substr(0, arrived.size()), arrived) << c.what;
    // The pipe has room again.
    writeText(sink, "after");
    EXPECT_FALSE(flushSink(sink)) << c.what;
    writeText(sink, std::string(capacity + 1, 'y'));
    EXPECT_FALSE(flushSink(sink)) << c.what;
    EXPECT_EQ("", takeFromPipe(fds[0])) << c.what;
    ::close(fds[0]);
    ::close(fds[1]);
  }
}

}  // namespace
