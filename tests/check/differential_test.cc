#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "check/random_script.h"
#include "check/read_json.h"
#include "check/script_check.h"
#include "driver/run.h"
#include "e2e/scratch_dir.h"
#include "e2e/tool_process.h"
#include "output/sink.h"

namespace {

namespace fs = std::filesystem;

// How a run of relmerge ended, read from its output file: the outcome, as the check names it,
// and the rows of the result block.
struct runEndStruct {
  std::string outcome;
  std::string rows;
  bool operator==(const runEndStruct& other) const {
    return outcome == other.outcome && rows == other.rows;
  }
};

std::ostream& operator<<(std::ostream& out, const runEndStruct& end) {
  return out << end.outcome << " " << end.rows;
}

runEndStruct endOfOutput(const std::string& script, const std::string& output) {
  // The output starts with the echo: the script with CR LF as LF, and one more line feed.
  size_t crlf = 0;
  for (size_t at = script.find("\r\n"); at != std::string::npos; at = script.find("\r\n", at + 2)) {
    ++crlf;
  }
  std::string tail = output.substr(script.size() - crlf + 1);
  if (tail.rfind("Hib\xE1s a join szerkezet!", 0) == 0) return {"join-structure", ""};
  if (tail.rfind("A megadott rel\xE1", 0) == 0) return {"unknown-relation", ""};
  // "\n", the heading, the rows, "\n": three line feeds besides those of the rows.
  auto feeds = static_cast<size_t>(std::count(tail.begin(), tail.end(), '\n'));
  return {"result", std::to_string(feeds - 3)};
}

runEndStruct endOfReport(const checkReportStruct& report) {
  switch (report.outcome) {
    case outcomeKind::result:
      return {"result", decimalOf(report.count.rows)};
    case outcomeKind::unknownRelation:
      return {"unknown-relation", ""};
    default:
      return {"join-structure", ""};
  }
}

TEST(CheckDifferential, OutcomeAndRowsAsTheRunWrites) {
  std::string output;
  sinkStruct sink = textSink(output);
  size_t results = 0;
  workerPoolStruct solo(1);
  workerPoolStruct pair(2);
  for (uint32_t seed = 1; seed <= 5000; ++seed) {
    std::string script = randomScript(seed);
    output.clear();
    // Now and then two workers: the outcome must not depend on how many.
    workerPoolStruct& pool = seed % 4 == 0 ? pair : solo;
    writeOutputOf(script, sink, pool);
    flushSink(sink);
    runEndStruct expected = endOfOutput(script, output);
    ASSERT_EQ(expected, endOfReport(checkScript(script, pool))) << "seed " << seed << "\n"
                                                                << script;
    if (expected.outcome == "result") ++results;
  }
  // Guards the maker: most scripts make a result, and each other end is met as well.
  EXPECT_GT(results, 2500U);
  EXPECT_LT(results, 4950U);
}

// The same through the two programs, as a user runs them.
TEST(CheckDifferential, ProgramsAgree) {
  scratchDirStruct dir;
  fs::create_directory(dir.path / "work");
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::string script = randomScript(seed);
    writeFile(dir.path / "work" / "script.txt", script);
    programRunStruct run =
        runProgram(RELMERGE_BINARY, {"script.txt", "out.txt"}, "", dir.path / "work", dir.path);
    ASSERT_EQ(0, run.exitStatus) << seed;
    runEndStruct expected = endOfOutput(script, readFile(dir.path / "work" / "out.txt"));
    programRunStruct check = runProgram(RELMERGE_CHECK_BINARY, {"--json", "script.txt"}, "",
                                        dir.path / "work", dir.path);
    nlohmann::json document = readJson(check.out);
    runEndStruct reported = {document["outcome"], ""};
    if (!document["result"].is_null()) reported.rows = document["result"]["rows"].dump();
    EXPECT_EQ(expected, reported) << "seed " << seed << "\n" << script;
    EXPECT_EQ(expected.outcome == "result" ? (document["diagnostics"].empty() ? 0 : 1) : 2,
              check.exitStatus)
        << seed;
  }
}

}  // namespace
