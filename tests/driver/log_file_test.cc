#include "driver/log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "../e2e/scratch_dir.h"

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

TEST(LogFile, LeftAloneItKeepsItsBytes) {
  inScratchDirStruct scratch;
  ASSERT_TRUE(writeFile("error.log", "the input\n"));
  logFileStruct log = openLog();
  ASSERT_GE(log.fd, 0);
  leaveLog(log);
  const std::string_view message = "\nmessage\n";
  startLog(log);
  writeLog(log, {&message, 1});
  closeLog(log);
  EXPECT_EQ("the input\n", readFile("error.log"));
}

}  // namespace
