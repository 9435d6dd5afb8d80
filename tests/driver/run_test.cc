#include "driver/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/scratch_dir.h"
#include "sanitizers.h"

namespace {

// A join past the numbers that rows and positions can count would wrap them around and give
// a wrong result: the run stops after the echo instead. The limits are lowered here to what a
// short script reaches.
TEST(JoinLimits, JoinPastThemStopsAfterTheEcho) {
  const std::string pair = "R(a t, b t)\n1, x\n2, y\n3, z\n\nS(b t, c t)\nx, 1\ny, 2\n\n";
  struct Case {
    std::string what;
    std::string script;
    joinLimitsStruct limits;
    bool fits;
  } cases[] = {
      {"rows at the limit", pair + "join(R, S)\n", {.mostRows = 3, .mostPositions = 3}, true},
      {"rows of the first relation", pair + "join(R, S)\n", {.mostRows = 2}, false},
      {"rows of a later relation", pair + "join(S, R)\n", {.mostRows = 2}, false},
      {"rows of a relation outside the join", pair + "join(S, S)\n", {.mostRows = 2}, true},
      {"attributes of a relation",
       "R(a t, b t, c t)\n1\n\njoin(R, R)\n",
       {.mostPositions = 2},
       false},
      {"attributes of the result",
       pair + "T(d t)\n1\n\njoin(R, S, T)\n",
       {.mostPositions = 3},
       false},
      {"relations of the script", pair + "T(d t)\n1\n\njoin(R, S)\n", {.mostPositions = 2}, false},
      {"names of the join list", pair + "join(S, S, S)\n", {.mostPositions = 2}, false},
  };
  for (const Case& c : cases) {
    std::string output;
    sinkStruct sink = textSink(output);
    workerPoolStruct solo(1);
    EXPECT_EQ(c.fits, writeOutputOf(c.script, sink, solo, c.limits)) << c.what;
    flushSink(sink);
    std::string echo = c.script + "\n";
    if (c.fits) {
      EXPECT_TRUE(output.starts_with(echo + "\nresult(")) << c.what << ": " << output;
    } else {
      EXPECT_EQ(echo, output) << c.what;
    }
  }
}

// Enters a folder for as long as it lives: "error.log" lands in the working folder.
struct enteredDirStruct {
  explicit enteredDirStruct(const std::filesystem::path& path)
      : left(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~enteredDirStruct() { std::filesystem::current_path(left); }
  enteredDirStruct(const enteredDirStruct&) = delete;
  enteredDirStruct& operator=(const enteredDirStruct&) = delete;

  std::filesystem::path left;
};

// Large enough for every part of a run that workers share: the input is read in two halves
// (from 8 MiB), the script parsed in pieces (from 1 MiB), the index of a relation of 4M rows
// or more built by all workers a chunk at a time, and the rows written by several, in order.
// More workers than there are processors give the same bytes too.
TEST(WriteOutput, LargeJoinOnAnyNumberOfWorkersAsOnOne) {
  constexpr size_t kKeys = 4096;
  constexpr size_t kIndexedRows = (size_t{1} << 22) + 1000;
  constexpr size_t kFirstRows = 100;
  std::vector<std::string> keys;
  for (size_t k = 0; k < kKeys; ++k) {
    char text[16];
    keys.emplace_back(text, static_cast<size_t>(std::snprintf(text, sizeof text, "%zx", k)));
  }
  std::string script = "R(k t, v t)\n";
  for (size_t i = 0; i < kFirstRows; ++i) {
    script.append(keys[i * 37 % kKeys]).append(", ").append(keys[i]).append("\n");
  }
  script += "\nS(k t)\n";
  for (size_t i = 0; i < kIndexedRows; ++i) script.append(keys[i % kKeys]).push_back('\n');
  script += "\njoin(R, S)\n";
  // S adds nothing to a row of R but its partners: each row of R comes once for each.
  std::string expected = script + "\n\nresult(k t, v t)\n";
  for (size_t i = 0; i < kFirstRows; ++i) {
    size_t k = i * 37 % kKeys;
    size_t partners = kIndexedRows / kKeys + (k < kIndexedRows % kKeys ? 1 : 0);
    std::string row = keys[k] + ", " + keys[i] + "\n";
    for (size_t p = 0; p < partners; ++p) expected += row;
  }
  expected += "\n";
  scratchDirStruct dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(writeFile(dir.path / "in.txt", script));
  enteredDirStruct entered(dir.path);
  // Odd numbers too, so that the shares of the index and of the rows come out unequal. Three
  // workers take every shared path; the sanitized builds, many times slower, run that alone.
  std::vector<size_t> workerCounts = {1, 2, 3, 8};
  if (kSanitized) workerCounts = {3};
  for (size_t workers : workerCounts) {
    const char* argv[] = {"relmerge", "in.txt", "out.txt"};
    EXPECT_EQ(0, run(3, argv, workers));
    std::string output = readFile(dir.path / "out.txt");
    EXPECT_TRUE(output == expected)
        << workers << " workers: " << output.size() << " bytes, " << expected.size() << " expected";
    EXPECT_EQ("", readFile(dir.path / "error.log")) << workers << " workers";
  }
}

}  // namespace
