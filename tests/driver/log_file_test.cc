#include "driver/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "e2e/scratch_dir.h"

namespace {

// Enters a fresh folder, where "error.log" lands, and leaves it again.
struct inScratchDirStruct {
  inScratchDirStruct() : before(std::filesystem::current_path()) {
    std::filesystem::current_path(dir.path);
  }
  ~inScratchDirStruct() { std::filesystem::current_path(before); }
  scratchDirStruct dir;
  std::filesystem::path before;
};

long long blocksOf(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0 ? static_cast<long long>(info.st_blocks) : -1;
}

TEST(LogFile, RoomIsHeldUntilTheLogIsClosed) {
  const std::string_view message = "\nmessage: in.txt\n";
  for (bool written : {false, true}) {
    inScratchDirStruct scratch;
    ASSERT_TRUE(writeFile("error.log", std::string(10000, 'o')));
    logFileStruct log = openLog();
    ASSERT_GE(log.fd, 0);
    EXPECT_EQ(std::string(10000, 'o'), readFile("error.log")) << "emptied before its start";
    startLog(log, 5000);
    EXPECT_EQ("", readFile("error.log")) << written;
    if (!log.reserved) GTEST_SKIP() << "this file system holds no room past a file's end";
    EXPECT_GE(blocksOf("error.log") * 512, 5000) << written;
    if (written) writeLog(log, {&message, 1});
    closeLog(log);
    EXPECT_EQ(written ? message : "", readFile("error.log"));
    // What was held beyond the message is given back: one block for it, or none.
    EXPECT_LE(blocksOf("error.log") * 512, written ? 4096 : 0) << written;
  }
}

TEST(LogFile, LeftAloneItKeepsItsBytes) {
  inScratchDirStruct scratch;
  ASSERT_TRUE(writeFile("error.log", "the input\n"));
  logFileStruct log = openLog();
  ASSERT_GE(log.fd, 0);
  leaveLog(log);
  const std::string_view message = "\nmessage\n";
  startLog(log, 100);
  writeLog(log, {&message, 1});
  closeLog(log);
  EXPECT_EQ("the input\n", readFile("error.log"));
}

}  // namespace
