#include "util/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/scratch_dir.h"

namespace {

std::string randomBytes(size_t size, uint32_t seed) {
  std::mt19937 next(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(next());
  return bytes;
}

using readerFunction = inputTextStruct (*)(int, workerPoolStruct&);

// What `reader` gives of `path` opened afresh, first reading `skipped` bytes the usual way.
std::string readBack(const std::filesystem::path& path, size_t workers, size_t skipped = 0,
                     readerFunction reader = readAll) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return "no file";
  std::string skippedBytes(skipped, '\0');
  if (skipped > 0 && ::read(fd, skippedBytes.data(), skipped) != static_cast<ssize_t>(skipped)) {
    ::close(fd);
    return "short read";
  }
  workerPoolStruct pool(workers);
  inputTextStruct input = reader(fd, pool);
  ::close(fd);
  return std::string(input.text());
}

TEST(ReadAll, FilesOfEverySizeArriveWhole) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  constexpr size_t kMiB = size_t{1} << 20;
  // Around the size from which two workers share the read, and parts that end off a huge page.
  for (size_t size : {size_t{0}, size_t{1}, size_t{4097}, 8 * kMiB - 1, 8 * kMiB, 8 * kMiB + 1,
                      9 * kMiB + 12345, 12 * kMiB}) {
    std::string bytes = randomBytes(size, static_cast<uint32_t>(size));
    std::filesystem::path path = dir.path / "input";
    ASSERT_TRUE(writeFile(path, bytes));
    for (readerFunction reader : {readAll, mapOrReadAll}) {
      const char* how = reader == readAll ? ", read" : ", mapped";
      for (size_t workers : {1, 2, 3}) {
        std::string got = readBack(path, workers, 0, reader);
        EXPECT_EQ(bytes.size(), got.size()) << size << " bytes, " << workers << " workers" << how;
        EXPECT_TRUE(bytes == got) << size << " bytes, " << workers << " workers" << how;
      }
      // A file already read in part yields the rest, from where its reading stands.
      if (size > 1) {
        std::string got = readBack(path, 2, 1, reader);
        EXPECT_TRUE(bytes.substr(1) == got) << size << " bytes from the second" << how;
      }
    }
  }
}

TEST(ReadAll, PipeArrivesWhole) {
  for (readerFunction reader : {readAll, mapOrReadAll}) {
    int ends[2];
    ASSERT_EQ(0, ::pipe(ends));
    std::string bytes = randomBytes(size_t{3} << 20, 7);
    std::thread writer([&bytes, out = ends[1]] {
      writeAll(out, bytes.data(), bytes.size());
      ::close(out);
    });
    workerPoolStruct pool(2);
    inputTextStruct input = reader(ends[0], pool);
    writer.join();
    ::close(ends[0]);
    EXPECT_TRUE(bytes == input.text());
  }
}

// Only a regular file read from its start is mapped, and a mapped input stays what it was
// when it was mapped, whatever becomes of the file's name.
TEST(MapOrReadAll, RegularFilesFromTheirStartAreMapped) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string bytes = randomBytes(100000, 3);
  ASSERT_TRUE(writeFile(dir.path / "input", bytes));
  ASSERT_TRUE(writeFile(dir.path / "empty", ""));
  struct Case {
    const char* what;
    const char* path;
    size_t skipped;
    bool mapped;
  } cases[] = {
      {"a regular file read in part", "input", 10, false},
      {"an empty file", "empty", 0, false},
      {"a device", "/dev/null", 0, false},
      {"a regular file", "input", 0, true},
  };
  for (const Case& c : cases) {
    std::filesystem::path path = c.path[0] == '/' ? c.path : dir.path / c.path;
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << c.what;
    char skipped[16];
    ASSERT_EQ(static_cast<ssize_t>(c.skipped), ::read(fd, skipped, c.skipped)) << c.what;
    workerPoolStruct pool(2);
    inputTextStruct input = mapOrReadAll(fd, pool);
    ::close(fd);
    EXPECT_EQ(c.mapped, input.mapping != nullptr) << c.what;
    if (c.mapped) {
      // Renamed over, the file's name leads elsewhere; the mapping keeps the bytes it had.
      ASSERT_TRUE(writeFile(dir.path / "other", "changed"));
      std::filesystem::rename(dir.path / "other", path);
      EXPECT_TRUE(bytes == input.text()) << c.what;
    }
  }
}

TEST(ReadAll, FailedReadIsTold) {
  // Its first read fails: no page of the reader's own memory lies at offset 0.
  int fd = ::open("/proc/self/mem", O_RDONLY);
  if (fd < 0) GTEST_SKIP() << "no /proc/self/mem here";
  workerPoolStruct pair(2);
  EXPECT_TRUE(readAll(fd, pair).readFailed);
  ::lseek(fd, 0, SEEK_SET);
  EXPECT_TRUE(mapOrReadAll(fd, pair).readFailed);
  ::close(fd);
  for (size_t workers : {1, 2}) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(writeFile(dir.path / "input", std::string(9 << 20, 'x')));
    int file = ::open((dir.path / "input").c_str(), O_RDONLY);
    workerPoolStruct pool(workers);
    EXPECT_FALSE(readAll(file, pool).readFailed) << workers << " workers";
    ::close(file);
  }
}

// The files that the output must not be, whatever the path that names them.
TEST(SameFile, RegularFilesAndFifosButNotDevices) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  const std::filesystem::path in = dir.path / "in.txt";
  ASSERT_TRUE(writeFile(in, "x"));
  ASSERT_TRUE(writeFile(dir.path / "other.txt", "x"));
  std::filesystem::create_hard_link(in, dir.path / "hard.txt");
  std::filesystem::create_symlink(in, dir.path / "soft.txt");
  ASSERT_EQ(0, ::mkfifo((dir.path / "fifo").c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo((dir.path / "fifo2").c_str(), 0600));
  struct Case {
    std::filesystem::path input;
    std::filesystem::path output;
    bool same;
  } cases[] = {
      {in, in, true},
      {in, dir.path / "hard.txt", true},
      {in, dir.path / "soft.txt", true},
      {in, dir.path / "other.txt", false},
      {in, dir.path / "missing.txt", false},
      {dir.path / "fifo", dir.path / "fifo", true},
      {dir.path / "fifo", dir.path / "fifo2", false},
      {"/dev/null", "/dev/null", false},
  };
  for (const Case& c : cases) {
    // A FIFO opened for reading alone would wait for a writer.
    int fd = ::open(c.input.c_str(), O_RDWR);
    ASSERT_GE(fd, 0) << c.input;
    EXPECT_EQ(c.same, isSameFile(fd, c.output.c_str())) << c.input << " as " << c.output;
    int output = ::open(c.output.c_str(), O_RDWR);
    if (output >= 0) {
      EXPECT_EQ(c.same || c.input == "/dev/null", isSameOpenFile(fd, output)) << c.input;
      ::close(output);
    }
    ::close(fd);
  }
}

// Writes `parts` into a pipe whose reader takes a few bytes at a time, so that the writer
// meets a full pipe again and again; answers what came out the other end.
std::string throughPipe(const std::vector<std::string>& parts, bool& written) {
  int ends[2];
  if (::pipe(ends) != 0) return "no pipe";
  std::string received;
  std::thread reader([&received, in = ends[0]] {
    char bytes[777];
    for (ssize_t got; (got = ::read(in, bytes, sizeof bytes)) > 0;) received.append(bytes, got);
  });
  std::vector<std::string_view> views(parts.begin(), parts.end());
  written = writeAllOf(ends[1], views);
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  return received;
}

TEST(GatheredWrites, EveryPartArrivesInOrder) {
  auto numbered = [](size_t count, size_t length) {
    std::vector<std::string> parts(count);
    for (size_t i = 0; i < count; ++i) parts[i].assign(length, static_cast<char>('a' + i % 26));
    return parts;
  };
  std::vector<std::vector<std::string>> cases = {
      {},
      {"", "", ""},
      {"", "ab", "", "cd", ""},
      numbered(63, 3),
      numbered(64, 5),
      numbered(65, 1),
      numbered(200, 17),
      // Larger than a pipe holds: the request is taken in part and finished after.
      {"x", std::string(300000, 'y'), "z", std::string(70000, 'w')},
      // Past the bytes of one request: a request ends inside a part, or a part takes several.
      numbered(40, 5000),
      {std::string(1 << 20, 'q'), "r", std::string(131071, 's')},
  };
  for (const std::vector<std::string>& parts : cases) {
    std::string expected;
    for (const std::string& part : parts) expected += part;
    bool written = false;
    EXPECT_EQ(expected, throughPipe(parts, written)) << parts.size() << " parts";
    EXPECT_TRUE(written) << parts.size() << " parts";
  }
}

TEST(GatheredWrites, ClosedFileIsReported) {
  std::string_view parts[] = {"a", "b"};
  EXPECT_FALSE(writeAllOf(-1, parts));
}

}  // namespace
