// The built tool under hostile conditions: inputs that stand for very large ones, outputs that
// fail part way, pipes and special files, and bytes that no editor should have left.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "e2e/messages.h"
#include "e2e/scratch_dir.h"
#include "e2e/tool_process.h"
#include "fuzz/expected_output.h"
#include "gtest/gtest.h"
#include "sanitizers.h"

namespace {

// "k" + std::to_string(i) trips a false -Wrestrict in g++ 12; appending does not.
std::string numbered(const char* prefix, long long number) {
  return std::string(prefix).append(std::to_string(number));
}

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace expectedText;

bool writeAllTo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

struct runResultStruct {
  int status = -1;
  std::string output;
  std::string log;
};

// Runs `relmerge in.txt out.txt` on `script` in a fresh folder.
runResultStruct runOnScript(std::string_view script, const childSetupStruct& setup = {}) {
  runResultStruct result;
  scratchDirStruct dir;
  if (dir.path.empty() || !writeFile(dir.path / "in.txt", script)) return result;
  pid_t pid = startTool(dir.path, {"in.txt", "out.txt"}, setup);
  if (pid < 0) return result;
  result.status = waitFor(pid);
  result.output = readFile(dir.path / "out.txt");
  result.log = readFile(dir.path / "error.log");
  return result;
}

struct scriptCaseStruct {
  std::string what;
  std::string script;       // ends with a line end
  std::string resultBlock;  // all the output holds after the echo
};

// Relations r0..r(n-1), each of one attribute and one row, then a late duplicate of r0.
scriptCaseStruct manyRelations(int count) {
  std::string script;
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    script += "r" + n + "(a" + n + " t)\nv" + n + "\n\n";
  }
  std::string last = std::to_string(count - 1);
  script += "r0(z t)\nshadow\n\njoin(r" + last + ", r0)\n";
  return {std::to_string(count) + " relations of one row", script,
          std::string("\nresult(a")
              .append(last)
              .append(" t, a0 t)\nv")
              .append(last)
              .append(", v0\n\n")};
}

// A relation of `count` attributes joined with itself, then with a relation that shares its
// last attribute and matches its second row only.
scriptCaseStruct wideRelation(int count) {
  std::string heading;
  std::vector<std::string> rows(3);
  for (int j = 0; j < count; ++j) {
    std::string n = std::to_string(j);
    heading += std::string(j > 0 ? ", c" : "c").append(n) + " t";
    for (size_t r = 0; r < rows.size(); ++r) {
      rows[r] += (j > 0 ? ", v" : "v") + std::to_string(r) + "_" + n;
    }
  }
  std::string lastValue = numbered("v1_", count - 1);
  std::string script = "W(" + heading + ")\n" + rows[0] + "\n" + rows[1] + "\n" + rows[2] +
                       numbered("\n\nX(c", count - 1) + " t, x t)\nnope, miss\n" + lastValue +
                       ", hit\n\njoin(W, W, X)\n";
  return {std::to_string(count) + " attributes", script,
          "\nresult(" + heading + ", x t)\n" + rows[1] + ", hit\n\n"};
}

scriptCaseStruct longJoinList(int names) {
  std::string list = "R";
  for (int i = 1; i < names; ++i) list += ", R";
  return {numbered("join list of ", names) + " names",
          "R(a t, b t)\n1, x\n2, y\n3, z\n\njoin(" + list + ")\n",
          "\nresult(a t, b t)\n1, x\n2, y\n3, z\n\n"};
}

scriptCaseStruct manyOneValueRows(int count) {
  std::string rows;
  for (int i = 0; i < count; ++i) rows += numbered("k", i) + "\n";
  return {std::to_string(count) + " one-value rows", "R(a t)\n" + rows + "\njoin(R, R)\n",
          "\nresult(a t)\n" + rows + "\n"};
}

scriptCaseStruct longLine(size_t bytes) {
  std::string value;
  value.reserve(bytes);
  while (value.size() < bytes) value += "abcdefghijklmnopqrstuvwxyz\t\xE9\xFF";
  return {numbered("line of ", bytes) + " bytes", "L(a t, b t)\n" + value + ", end\n\njoin(L, L)\n",
          "\nresult(a t, b t)\n" + value + ", end\n\n"};
}

std::string cartesianScript(int rows) {
  std::string script = "A(a t)\n";
  for (int i = 0; i < rows; ++i) script += numbered("a", i) + "\n";
  script += "\nB(b t)\n";
  for (int j = 0; j < rows; ++j) script += numbered("b", j) + "\n";
  return script + "\njoin(A, B)\n";
}

std::string cartesianBlock(int rows) {
  std::string block = "\nresult(a t, b t)\n";
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < rows; ++j) {
      block += numbered("a", i) + numbered(", b", j) + "\n";
    }
  }
  return block + "\n";
}

scriptCaseStruct cartesianProduct(int rows) {
  return {std::to_string(rows) + numbered(" x ", rows) + " Cartesian product",
          cartesianScript(rows), cartesianBlock(rows)};
}

// Smaller shapes of the sizes that bench/extremes.sh runs at full scale, each still past a
// limit of the tool: the 1 MiB write buffer, the 16 MiB line that a row stores in short form.
TEST(HostileInput, LargeShapesComeOutWhole) {
  const scriptCaseStruct cases[] = {
      longLine((1u << 24) + 4096), manyRelations(20000),     wideRelation(3000),
      longJoinList(2000),          manyOneValueRows(200000), cartesianProduct(300),
  };
  for (const scriptCaseStruct& c : cases) {
    runResultStruct run = runOnScript(c.script);
    EXPECT_TRUE(exitedWithZero(run.status)) << c.what << ": wait status " << run.status;
    EXPECT_EQ("", run.log) << c.what;
    // Compared by hand, not by EXPECT_EQ, so that a failure does not print megabytes.
    std::string expected = c.script + "\n" + c.resultBlock;
    EXPECT_TRUE(run.output == expected)
        << c.what << ": output of " << run.output.size() << " bytes, expected " << expected.size();
  }
}

// A join list of `names` names whose every step reads its key from rows that vary in length.
scriptCaseStruct raggedJoinList(int names) {
  std::string list = "R";
  std::string grown = "3, z, w";
  for (int i = 1; i < names; ++i) {
    list += ", R";
    grown += ", w";  // each step keeps the value it does not compare
  }
  return {numbered("ragged join list of ", names) + " names",
          "R(a t, b t)\n1, x\n2\n3, z, w\n\njoin(" + list + ")\n",
          "\nresult(a t, b t)\n" + grown + "\n\n"};
}

// A join list of `names` names whose every step reads its key from the second relation.
scriptCaseStruct keyFromSecondRelation(int names) {
  std::string list = "R, S";
  for (int i = 2; i < names; ++i) list += ", T";
  return {numbered("key from the second of ", names) + " names",
          "R(x t)\n1\n\nS(a t)\nk\n\nT(a t)\nk\n\njoin(" + list + ")\n",
          "\nresult(x t, a t)\n1, k\n\n"};
}

// Steps whose keys lie far above them cost no walk up through every level between: such a
// walk makes these lists take about a minute, and the guard, well above the second that they
// take (a few under the sanitizers), turns that into a failure.
TEST(HostileInput, LongJoinListsWithKeysFromFarUp) {
  const scriptCaseStruct cases[] = {raggedJoinList(100000), keyFromSecondRelation(100000)};
  for (const scriptCaseStruct& c : cases) {
    runResultStruct run = runOnScript(c.script, {.cpuSecondsLimit = 20});
    EXPECT_TRUE(exitedWithZero(run.status))
        << c.what << ": wait status " << run.status
        << (WIFSIGNALED(run.status) ? ", killed by a signal" : "");
    EXPECT_EQ("", run.log) << c.what;
    std::string expected = c.script + "\n" + c.resultBlock;
    EXPECT_TRUE(run.output == expected)
        << c.what << ": output of " << run.output.size() << " bytes, expected " << expected.size();
  }
}

// Keys made against a hash of fixed constants: each is the eight bytes that cancel the constant
// such a hash of multiply-and-fold rounds xors into a 12-byte key's first word, so that the
// product is zero whatever the last four bytes hold, and all `count` keys hash alike.
std::string keysOfOneFixedHash(int count) {
  const std::string head = "\xD1\x7E\x03\xE7\xDB\x28\xB4\xA0";
  const std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string keys;
  for (int i = 0; i < count; ++i) {
    keys += head;
    for (int n = i, digit = 0; digit < 4; ++digit, n /= static_cast<int>(letters.size())) {
      keys += letters[static_cast<size_t>(n) % letters.size()];
    }
    keys += '\n';
  }
  return keys;
}

// No input can be made whose keys all fall on one hash: it is seeded afresh at every run. Made
// against a fixed hash, these keys take about twenty seconds to join, and the guard, far
// above the fraction of a second they take now, turns that into a failure.
TEST(HostileInput, KeysMadeToShareAHash) {
  const std::string keys = keysOfOneFixedHash(80000);
  const std::string script = "R(k t)\n" + keys + "\nS(k t)\n" + keys + "\njoin(R, S)\n";
  runResultStruct run = runOnScript(script, {.cpuSecondsLimit = 5});
  EXPECT_TRUE(exitedWithZero(run.status))
      << "wait status " << run.status << (WIFSIGNALED(run.status) ? ", killed by a signal" : "");
  EXPECT_EQ("", run.log);
  std::string expected = script + "\n\nresult(k t)\n" + keys + "\n";
  EXPECT_TRUE(run.output == expected)
      << "output of " << run.output.size() << " bytes, expected " << expected.size();
}

struct bytesCaseStruct {
  std::string_view what;
  std::string script;
  std::string output;  // the whole output file
};

TEST(HostileInput, BytesPassThrough) {
  const std::string bom = "\xEF\xBB\xBF";
  const bytesCaseStruct cases[] = {
      {"byte-order mark belongs to the first relation's name", bom + "R(a int)\n1\n\njoin(R, R)\n",
       bom + "R(a int)\n1\n\njoin(R, R)\n\n" + std::string(kUnknownRelationText) + "R\n"},
      {"byte-order mark named in the join list",
       bom + "R(a int)\n1\n\njoin(" + bom + "R, " + bom + "R)\n",
       bom + "R(a int)\n1\n\njoin(" + bom + "R, " + bom + "R)\n\n\nresult(a int)\n1\n\n"},
      {"byte-order mark before a join line", bom + "join(R, S)\nR(a t)\n1\n\nS(b t)\n2\n",
       bom + "join(R, S)\nR(a t)\n1\n\nS(b t)\n2\n\n\nresult(a t, b t)\n1, 2\n\n"},
      {"NUL is a value that matches only NUL",
       "R(k t, v t)\n\0, a\n, b\n\0\0, c\n\nS(k t, w t)\n, y\n\0, x\n\njoin(R, S)\n"s,
       "R(k t, v t)\n\0, a\n, b\n\0\0, c\n\nS(k t, w t)\n, y\n\0, x\n\njoin(R, S)\n\n"
       "\nresult(k t, v t, w t)\n\0, a, x\n, b, y\n\n"s},
      {"bytes 80-FF in names, types and keys",
       "\xC1(k \xE9rt\xE9k, v t)\n\xFF\xFE, 1\n\x80, 2\n\n\xD5(k \xE9rt\xE9k)\n\x80\n\n"
       "join(\xC1, \xD5)\n",
       "\xC1(k \xE9rt\xE9k, v t)\n\xFF\xFE, 1\n\x80, 2\n\n\xD5(k \xE9rt\xE9k)\n\x80\n\n"
       "join(\xC1, \xD5)\n\n\nresult(k \xE9rt\xE9k, v t)\n\x80, 2\n\n"},
      {"CR as the last byte closes the join line all the same",
       "R(a t)\n1\n\nS(b t)\n2\n\njoin(R, S)\r",
       "R(a t)\n1\n\nS(b t)\n2\n\njoin(R, S)\r\n\nresult(a t, b t)\n1, 2\n\n"},
      {"CR CR LF keeps one CR in the value", "R(a t)\nx\r\r\n\r\nS(a t)\nx\r\n\njoin(R, S)\n",
       "R(a t)\nx\r\n\nS(a t)\nx\n\njoin(R, S)\n\n\nresult(a t)\n\n"},
      {"a tab is no blank between name and type",
       "R(a\tint, b int)\n1, 2\n\nS(a\tint)\n1\n\njoin(R, S)\n",
       "R(a\tint, b int)\n1, 2\n\nS(a\tint)\n1\n\njoin(R, S)\n\n"
       "\nresult(a\tint a\tint, b int)\n1, 2\n\n"},
  };
  for (const bytesCaseStruct& c : cases) {
    runResultStruct run = runOnScript(c.script);
    EXPECT_TRUE(exitedWithZero(run.status)) << c.what << ": wait status " << run.status;
    EXPECT_EQ("", run.log) << c.what;
    EXPECT_EQ(c.output, run.output) << c.what;
  }
}

// A file that stops growing part way, as on a full disk: what was written is a true prefix,
// and the loss is told in error.log.
TEST(HostileOutput, OutputThatStopsGrowingIsReported) {
  const rlim_t kLimit = 64 * 1024;
  std::string script = cartesianScript(300);
  runResultStruct run = runOnScript(script, {.fileSizeLimit = kLimit});
  EXPECT_TRUE(exitedWithZero(run.status)) << "wait status " << run.status;
  EXPECT_EQ(outputNotWritable("out.txt"), run.log);
  std::string expected = script + "\n" + cartesianBlock(300);
  ASSERT_EQ(kLimit, run.output.size());
  EXPECT_TRUE(expected.compare(0, kLimit, run.output) == 0) << "written part differs";
}

// `relmerge in.txt /dev/stdout | head -c 10`: the reader leaves after ten bytes.
TEST(HostileOutput, PipeWhoseReaderHasGone) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  // Far more than the pipe and the tool's buffer hold, so writes go on after the reader left.
  std::string script = manyOneValueRows(400000).script;
  ASSERT_TRUE(writeFile(dir.path / "in.txt", script));
  int pipeFds[2];
  ASSERT_EQ(0, pipe2(pipeFds, O_CLOEXEC));
  pid_t pid = startTool(dir.path, {"in.txt", "/dev/stdout"}, {.stdoutFd = pipeFds[1]});
  close(pipeFds[1]);
  ASSERT_GE(pid, 0);
  char head[10];
  size_t got = 0;
  while (got < sizeof head) {
    ssize_t n = read(pipeFds[0], head + got, sizeof head - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(pipeFds[0]);
  int status = waitFor(pid);
  EXPECT_TRUE(exitedWithZero(status))
      << "wait status " << status << (WIFSIGNALED(status) ? ", killed by a signal" : "");
  EXPECT_EQ(script.substr(0, sizeof head), std::string(head, got));
  EXPECT_EQ(outputNotWritable("/dev/stdout"), readFile(dir.path / "error.log"));
}

// A Cartesian product of `rows` x 10,000 rows; when `ragged`, one row of the first relation
// holds a value more, so that the rows are measured before any is written.
std::string largeProductScript(int rows, bool ragged) {
  std::string script = "A(a t)\n";
  for (int i = 0; i < rows; ++i)
    script += numbered("a", i) + (ragged && i == rows / 2 ? ", x\n" : "\n");
  script += "\nB(b t)\n";
  for (int j = 0; j < 10000; ++j) script += numbered("b", j) + "\n";
  return script + "\njoin(A, B)\n";
}

enum class failedOutputKind { kFullDevice, kPipeClosedFirst, kPipeClosedPartWay };

struct failedOutputCaseStruct {
  std::string_view what;
  bool ragged;
  failedOutputKind kind;
};

// Runs the tool on in.txt in `work`, writing to an output that fails, and answers its wait
// status; a pipe's reader takes `readFirst` bytes before it leaves.
int runIntoFailingOutput(const fs::path& work, failedOutputKind kind, size_t readFirst,
                         rlim_t cpuSeconds) {
  if (kind == failedOutputKind::kFullDevice) {
    return waitFor(startTool(work, {"in.txt", "/dev/full"}, {.cpuSecondsLimit = cpuSeconds}));
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  if (kind == failedOutputKind::kPipeClosedFirst) close(pipeFds[0]);
  pid_t pid = startTool(work, {"in.txt", "/dev/stdout"},
                        {.stdoutFd = pipeFds[1], .cpuSecondsLimit = cpuSeconds});
  close(pipeFds[1]);
  if (kind == failedOutputKind::kPipeClosedPartWay) {
    std::vector<char> taken(readFirst);
    for (size_t got = 0; got < readFirst;) {
      ssize_t n = read(pipeFds[0], taken.data() + got, readFirst - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    close(pipeFds[0]);
  }
  return waitFor(pid);
}

// Once a write has failed the run stops making rows, in every pass and every worker: these
// products of 10^9 rows would take a minute to make, and the guard, far above the fraction of
// a second the runs take, turns that into a failure. error.log tells of the failure.
TEST(HostileOutput, FailedOutputStopsAllWork) {
  const failedOutputCaseStruct cases[] = {
      {"rows of two lengths into /dev/full", true, failedOutputKind::kFullDevice},
      {"rows of two lengths into a pipe whose reader has gone", true,
       failedOutputKind::kPipeClosedFirst},
      {"rows of one length into a pipe whose reader leaves part way", false,
       failedOutputKind::kPipeClosedPartWay},
  };
  for (const failedOutputCaseStruct& c : cases) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(writeFile(dir.path / "in.txt", largeProductScript(100000, c.ragged)));
    int status = runIntoFailingOutput(dir.path, c.kind, size_t{4} << 20, 5);
    EXPECT_TRUE(exitedWithZero(status)) << c.what << ": wait status " << status
                                        << (WIFSIGNALED(status) ? ", killed by a signal" : "");
    std::string path = c.kind == failedOutputKind::kFullDevice ? "/dev/full" : "/dev/stdout";
    EXPECT_EQ(outputNotWritable(path), readFile(dir.path / "error.log")) << c.what;
  }
}

// Starts the tool on in.txt of `work` and cuts the input down to `keptBytes` once the output
// has grown well past the echo, so that rows are being made; answers the wait status, or -1
// when the run ended before the input could be cut.
int runWhileTruncatingInput(const fs::path& work, off_t keptBytes) {
  constexpr rlim_t kLargestOutput = rlim_t{256} << 20;  // a run left whole would fill a disk
  pid_t pid = startTool(work, {"in.txt", "out.txt"}, {.fileSizeLimit = kLargestOutput});
  for (;;) {
    std::error_code error;
    uintmax_t written = fs::file_size(work / "out.txt", error);
    if (!error && written >= (uintmax_t{4} << 20)) break;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return -1;
    usleep(1000);
  }
  if (truncate((work / "in.txt").c_str(), keptBytes) != 0) return -1;
  return waitFor(pid);
}

// An input cut short under a run ends it as a read error does, wherever the cut falls: the
// product's values are read from the input as long as rows are made.
TEST(HostileInput, InputCutShortDuringTheRunIsAReadError) {
  for (off_t kept : {off_t{0}, off_t{5000}}) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(writeFile(dir.path / "in.txt", largeProductScript(4000, false)));
    int status = runWhileTruncatingInput(dir.path, kept);
    ASSERT_NE(-1, status) << kept << " bytes kept: the run ended before the cut";
    EXPECT_TRUE(exitedWithZero(status)) << kept << " bytes kept: wait status " << status
                                        << (WIFSIGNALED(status) ? ", killed by a signal" : "");
    EXPECT_EQ(unreadableInput("in.txt"), readFile(dir.path / "error.log")) << kept;
    EXPECT_EQ(0u, fs::file_size(dir.path / "out.txt")) << kept << " bytes kept";
  }
}

// The input is cut while the tool, its work done, waits to write the rest of the echo into a
// pipe: the kernel, not the tool, then meets the lost bytes, and the write fails. error.log
// blames the input all the same; the pipe keeps what it took.
TEST(HostileInput, InputCutShortUnderTheEchoIsAReadError) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  std::string script = "R(a t)\n";
  for (int i = 0; i < 400000; ++i) script += numbered("a", i) + "\n";
  // A join list of one name: what follows the echo is a fixed text, read from nowhere.
  ASSERT_TRUE(writeFile(dir.path / "in.txt", script + "\njoin(R)\n"));
  int pipeFds[2];
  ASSERT_EQ(0, pipe2(pipeFds, O_CLOEXEC));
  pid_t pid = startTool(dir.path, {"in.txt", "/dev/stdout"}, {.stdoutFd = pipeFds[1]});
  close(pipeFds[1]);
  std::vector<char> taken(size_t{1} << 16);
  ssize_t first = read(pipeFds[0], taken.data(), taken.size());
  // Leaves the parsing and the index time to end, which the pipe does not hold up.
  sleep(1);
  EXPECT_EQ(0, truncate((dir.path / "in.txt").c_str(), 0));
  while (read(pipeFds[0], taken.data(), taken.size()) > 0) {
  }
  close(pipeFds[0]);
  int status = waitFor(pid);
  EXPECT_GT(first, 0);
  EXPECT_TRUE(exitedWithZero(status))
      << "wait status " << status << (WIFSIGNALED(status) ? ", killed by a signal" : "");
  EXPECT_EQ(unreadableInput("in.txt"), readFile(dir.path / "error.log"));
}

enum class inputKind { kFile, kPipe, kFifo };

struct inputCaseStruct {
  std::string_view what;
  inputKind kind;
  std::string path;  // as passed to the tool
};

// Feeds `script` to the tool through the kind of input asked for; the output lands in out.txt.
int runWithInput(const fs::path& work, const inputCaseStruct& c, std::string_view script) {
  if (c.kind == inputKind::kFile) {
    if (!writeFile(work / c.path, script)) return -1;
    return waitFor(startTool(work, {c.path, "out.txt"}, {}));
  }
  if (c.kind == inputKind::kFifo) {
    if (mkfifo((work / c.path).c_str(), 0600) != 0) return -1;
    pid_t pid = startTool(work, {c.path, "out.txt"}, {});
    int fd = open((work / c.path).c_str(), O_WRONLY);
    bool fed = fd >= 0 && writeAllTo(fd, script);
    if (fd >= 0) close(fd);
    int status = waitFor(pid);
    return fed ? status : -1;
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  pid_t pid = startTool(work, {c.path, "out.txt"}, {.stdinFd = pipeFds[0]});
  close(pipeFds[0]);
  bool fed = writeAllTo(pipeFds[1], script);
  close(pipeFds[1]);
  int status = waitFor(pid);
  return fed ? status : -1;
}

TEST(SpecialFiles, InputFromPipeOrFifoAsFromFile) {
  // Larger than a pipe holds and than the first read takes.
  std::string script = "R(k int, v t)\n";
  std::string block = "\nresult(k int, v t, w t)\n";
  for (int i = 0; i < 20000; ++i) script += std::to_string(i) + numbered(", v", i) + "\n";
  script += "\nS(k int, w t)\n";
  for (int i = 0; i < 20000; i += 7) {
    script += std::to_string(i) + numbered(", w", i) + "\n";
    block += std::to_string(i) + numbered(", v", i) + numbered(", w", i) + "\n";
  }
  script += "\njoin(R, S)\n";
  const std::string expected = script + "\n" + block + "\n";
  const inputCaseStruct cases[] = {
      {"regular file", inputKind::kFile, "in.txt"},
      {"pipe", inputKind::kPipe, "/dev/stdin"},
      {"FIFO", inputKind::kFifo, "fifo"},
  };
  for (const inputCaseStruct& c : cases) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    int status = runWithInput(dir.path, c, script);
    EXPECT_TRUE(exitedWithZero(status)) << c.what << ": wait status " << status;
    EXPECT_EQ("", readFile(dir.path / "error.log")) << c.what;
    std::string output = readFile(dir.path / "out.txt");
    EXPECT_TRUE(output == expected) << c.what << ": output of " << output.size() << " bytes";
  }
}

TEST(SpecialFiles, NullDeviceAsOutputReportsNothing) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(writeFile(dir.path / "in.txt", cartesianScript(100)));
  int status = waitFor(startTool(dir.path, {"in.txt", "/dev/null"}, {}));
  EXPECT_TRUE(exitedWithZero(status)) << "wait status " << status;
  EXPECT_TRUE(fs::exists(dir.path / "error.log"));
  EXPECT_EQ("", readFile(dir.path / "error.log"));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()))
      << "the tool made a file besides error.log";
}

// Every saved fuzz finding and every seed, through the built tool: a clean exit and the
// output that the echo rules and the literal oracle give. Each of them takes milliseconds;
// the CPU limit only turns a run that would go on for hours into a failure.
TEST(HostileInput, SavedFuzzInputs) {
  const fs::path fuzzDir = fs::path(RELMERGE_SOURCE_DIR) / "tests" / "fuzz";
  size_t replayed = 0;
  for (const char* folder : {"regressions", "corpus"}) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(fuzzDir / folder, ec)) {
      if (!entry.is_regular_file() || entry.path().filename() == ".gitkeep") continue;
      std::string script = readFile(entry.path());
      std::string what = entry.path().filename().string();
      expectedOutputStruct expected = expectedOutputOf(script, 1.0e5);
      runResultStruct run = runOnScript(script, {.cpuSecondsLimit = 10});
      EXPECT_TRUE(exitedWithZero(run.status))
          << what << ": wait status " << run.status
          << (WIFSIGNALED(run.status) ? ", killed by a signal" : "");
      EXPECT_EQ("", run.log) << what;
      if (expected.complete) {
        EXPECT_EQ(expected.text, run.output) << what;
      } else {
        EXPECT_EQ(expected.text, run.output.substr(0, expected.text.size())) << what;
      }
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0u) << "no saved inputs under " << fuzzDir;
}

TEST(SpecialFiles, OneFifoAsInputAndOutputIsRefused) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  const fs::path fifo = dir.path / "ff";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  pid_t tool = startTool(dir.path, {"ff", "ff"}, {});
  ASSERT_GE(tool, 0);
  // A process of its own feeds the FIFO: the tool may close it before all is written, and
  // SIGPIPE then ends the feeder, not the test.
  const std::string script = cartesianScript(3);
  pid_t feeder = fork();
  if (feeder == 0) {
    int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    _exit(fd >= 0 && writeAllTo(fd, script) ? 0 : 1);
  }
  // Reading its own output back, the tool would wait for the end of its input for ever.
  int status = waitAtMost(tool, 30);
  if (feeder > 0) kill(feeder, SIGKILL);
  waitFor(feeder);
  EXPECT_NE(-2, status) << "the tool was still running after 30 s";
  EXPECT_TRUE(exitedWithZero(status)) << "wait status " << status;
  EXPECT_EQ(sameFile("ff"), readFile(dir.path / "error.log"));
}

// A tmpfs mounted on a folder, taken off again, whatever happens, when the case ends.
struct smallDiskStruct {
  explicit smallDiskStruct(const fs::path& at) {
    std::error_code ec;
    if (fs::create_directory(at, ec) && mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m") == 0) {
      path = at;
    } else {
      why = std::strerror(errno);
    }
  }
  ~smallDiskStruct() {
    if (!path.empty()) umount2(path.c_str(), MNT_DETACH);
  }
  smallDiskStruct(const smallDiskStruct&) = delete;
  smallDiskStruct& operator=(const smallDiskStruct&) = delete;

  fs::path path;  // empty when no file system could be mounted
  std::string why;
};

// The output fills the disk that "error.log" lies on too: the message must still get there.
TEST(HostileOutput, FullDiskUnderTheWorkingFolderIsReported) {
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  smallDiskStruct disk(dir.path / "disk");
  if (disk.path.empty()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why;
  const std::string script = cartesianScript(400);  // about 1.6 MB of output
  ASSERT_TRUE(writeFile(dir.path / "in.txt", script));
  const std::string input = (dir.path / "in.txt").string();
  int status = waitFor(startTool(disk.path, {input, "out.txt"}, {}));
  EXPECT_TRUE(exitedWithZero(status)) << "wait status " << status;
  EXPECT_EQ(outputNotWritable("out.txt"), readFile(disk.path / "error.log"));
  std::string output = readFile(disk.path / "out.txt");
  std::string expected = script + "\n" + cartesianBlock(400);
  EXPECT_GT(output.size(), script.size()) << "the disk filled before the result";
  EXPECT_LT(output.size(), expected.size()) << "the disk did not fill";
  EXPECT_TRUE(expected.compare(0, output.size(), output) == 0) << "written part differs";
}

// R and S share k, and each row of R has one partner in S, far from it. Of 300,000 rows each
// (9.8 MB), the script is read in two halves at once, parsed in pieces, and indexed, and its
// result written by several workers.
scriptCaseStruct matchedPairs(int rows) {
  std::string r = "R(k t, v t)\n";
  std::string s = "S(k t, w t)\n";
  std::string block = "\nresult(k t, v t, w t)\n";
  for (int i = 0; i < rows; ++i) {
    std::string k = numbered("k", static_cast<long long>(i) * 7919 % rows);
    r += k + numbered(", v", i) + "\n";
    s += numbered("k", i) + numbered(", w", i) + "\n";
    block += k + numbered(", v", i) + ", w" + k.substr(1) + "\n";
  }
  return {"matched pairs", r + "\n" + s + "\njoin(R, S)\n", block + "\n"};
}

struct limitedRunStruct {
  int status = -1;
  std::string console;
  std::string output;
  std::string log;
};

// Runs the tool in `work` with `args` under an address-space limit, afresh: no output or
// error.log of an earlier run is left.
limitedRunStruct runLimited(const fs::path& work, const std::vector<std::string>& args,
                            rlim_t limit) {
  limitedRunStruct run;
  std::error_code ec;
  for (const char* name : {"out.txt", "error.log", "console"}) fs::remove(work / name, ec);
  int console = open((work / "console").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (console < 0) return run;
  run.status = waitFor(startTool(work, args, {.consoleFd = console, .addressSpaceLimit = limit}));
  close(console);
  run.console = readFile(work / "console");
  run.output = readFile(work / "out.txt");
  run.log = readFile(work / "error.log");
  return run;
}

constexpr rlim_t kMiB = rlim_t{1} << 20;
// Fine enough to meet a failure in every stage of a run: reading, parsing, index building,
// worker threads and writing each take a few MiB at the least.
constexpr rlim_t kLimitStep = kMiB / 4;

// The least address space in which the tool gets as far as its own code: the usage text.
// Below it the C++ run-time fails while it starts, before the tool can do anything.
rlim_t startingLimit(const fs::path& work) {
  for (rlim_t limit = kLimitStep; limit <= 64 * kMiB; limit += kLimitStep) {
    limitedRunStruct run = runLimited(work, {}, limit);
    if (exitedWithZero(run.status) && run.log.starts_with(kUsageText)) return limit;
  }
  return 0;
}

// From the least address space up, in small steps, until the run comes out whole: a run that
// lacks memory anywhere ends cleanly, keeps a true beginning of the output and says why.
TEST(HostileMemory, LackOfMemoryIsToldWhereverItStrikes) {
  if (kSanitized) GTEST_SKIP() << "under a sanitizer the address space cannot be limited";
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  const scriptCaseStruct pairs = matchedPairs(300000);
  ASSERT_TRUE(writeFile(dir.path / "in.txt", pairs.script));
  const std::string expected = pairs.script + "\n" + pairs.resultBlock;
  const std::string told = lackOfMemory("in.txt");
  rlim_t start = startingLimit(dir.path);
  ASSERT_GT(start, 0u) << "the tool did not start in 64 MiB";
  size_t toldRuns = 0;
  size_t wholeRuns = 0;
  for (rlim_t limit = start; wholeRuns < 3 && limit < 1024 * kMiB; limit += kLimitStep) {
    limitedRunStruct run = runLimited(dir.path, {"in.txt", "out.txt"}, limit);
    std::string what = std::to_string(limit / 1024) + " KiB";
    EXPECT_TRUE(exitedWithZero(run.status)) << what << ": wait status " << run.status;
    EXPECT_EQ("", run.console) << what;
    if (run.log.empty()) {
      EXPECT_TRUE(run.output == expected)
          << what << ": output of " << run.output.size() << " bytes";
      ++wholeRuns;
    } else {
      EXPECT_EQ(told, run.log) << what;
      EXPECT_TRUE(expected.compare(0, run.output.size(), run.output) == 0)
          << what << ": the " << run.output.size() << " bytes written are not a beginning";
      ++toldRuns;
    }
    if (HasFailure()) break;  // one limit's failures say all; the rest would repeat them
  }
  EXPECT_GT(toldRuns, 0u);
  EXPECT_EQ(3u, wholeRuns) << "no limit below 1 GiB let the run come out whole";
}

}  // namespace
