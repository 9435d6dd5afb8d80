#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "check/random_script.h"
#include "check/read_json.h"
#include "e2e/scratch_dir.h"
#include "e2e/tool_process.h"

namespace {

namespace fs = std::filesystem;

// A run of relmerge-check in an empty folder that must stay empty: the program writes no file.
programRunStruct runCheck(const std::vector<std::string>& args, const std::string& input = {}) {
  scratchDirStruct dir;
  fs::create_directory(dir.path / "work");
  fs::create_directory(dir.path / "spare");
  programRunStruct run =
      runProgram(RELMERGE_CHECK_BINARY, args, input, dir.path / "work", dir.path / "spare");
  EXPECT_TRUE(fs::is_empty(dir.path / "work")) << "a file was written";
  return run;
}

std::string example(const char* name) {
  return std::string(RELMERGE_SOURCE_DIR) + "/examples/" + name;
}

const char kTrapScript[] = "R(a int)\n1\n  \n\nS(a int)\n1\n\njoin(R, S)\n";
const char kCleanScript[] = "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n";

TEST(CheckProgram, CommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string outStart;  // what standard output starts with
    std::string errStart;  // what standard error starts with
  } cases[] = {
      {{"--help"}, "", 0, "usage: relmerge-check [--json] [--quiet] SCRIPT\n", ""},
      {{"--version"}, "", 0, "relmerge-check " RELMERGE_VERSION "\n", ""},
      {{}, "", 64, "", "relmerge-check: name one script\nusage:"},
      {{"a", "b"}, "", 64, "", "relmerge-check: name one script\nusage:"},
      {{"--colour", "a"}, "", 64, "", "relmerge-check: unknown option --colour\nusage:"},
      {{"/no/such/script"}, "", 66, "", "relmerge-check: cannot read /no/such/script\n"},
      {{"/"}, "", 66, "", "relmerge-check: cannot read /\n"},
      {{"-"}, kCleanScript, 0, "relation \"R\", line 1", ""},
      {{"--quiet", "-"}, kCleanScript, 0, "", ""},
      {{"-"}, kTrapScript, 1, "<stdin>:3: warning: a line of blanks", ""},
      {{"--quiet", "--", "-"}, kTrapScript, 1, "<stdin>:3: warning:", ""},
      {{"-"}, "R(a int)\n1\n", 2, "<stdin>:1: error:", ""},
      {{example("chain.txt")}, "", 0, "relation \"Employees\"", ""},
      {{example("enrolments.txt")}, "", 0, "relation \"Students\"", ""},
      {{example("product.txt")}, "", 0, "relation \"Cuts\"", ""},
      {{example("short_row.txt")}, "", 0, "relation \"Books\"", ""},
      {{example("type_mismatch.txt")}, "", 1, example("type_mismatch.txt") + ":8: warning:", ""},
      {{example("unknown_relation.txt")},
       "",
       2,
       example("unknown_relation.txt") + ":9: error:",
       ""},
      {{example("missing_blank_line.txt")},
       "",
       2,
       example("missing_blank_line.txt") + ":1: error:",
       ""},
  };
  for (const Case& c : cases) {
    std::string what = c.args.empty() ? "(none)" : c.args.back();
    programRunStruct run = runCheck(c.args, c.input);
    EXPECT_EQ(c.status, run.exitStatus) << what;
    EXPECT_EQ(c.outStart, run.out.substr(0, c.outStart.size())) << what;
    EXPECT_EQ(c.errStart, run.err.substr(0, c.errStart.size())) << what;
    EXPECT_EQ(c.outStart.empty(), run.out.empty()) << what;
    EXPECT_EQ(c.errStart.empty(), run.err.empty()) << what;
    // Colours only on a terminal: the output here is a file.
    EXPECT_EQ(std::string::npos, run.out.find('\x1b')) << what;
  }
}

TEST(CheckProgram, ReportThatCannotBeWritten) {
  scratchDirStruct dir;
  programRunStruct run =
      runProgram(RELMERGE_CHECK_BINARY, {"-"}, kTrapScript, dir.path, dir.path, "/dev/full");
  EXPECT_EQ(74, run.exitStatus);
  EXPECT_EQ("relmerge-check: cannot write the report to standard output\n", run.err);
}

TEST(CheckProgram, JsonDocument) {
  programRunStruct run = runCheck({"--json", "-"}, kTrapScript);
  EXPECT_EQ(1, run.exitStatus);
  nlohmann::json document = readJson(run.out);
  EXPECT_EQ("result", document["outcome"]);
  EXPECT_EQ(2U, document["relations"].size());
  EXPECT_EQ(2U, document["relations"][0]["rows"]);
  EXPECT_EQ(nlohmann::json({{"names", {"R", "S"}}, {"lines", {8}}}), document["join"]);
  EXPECT_EQ("natural", document["steps"][0]["kind"]);
  // R's rows "1" and "  " against S's "1": one row.
  EXPECT_EQ(1U, document["result"]["rows"]);
  EXPECT_EQ(0U, document["result"]["trimmed"]);
  EXPECT_EQ("blank-line-in-block", document["diagnostics"][0]["code"]);
  EXPECT_EQ(3U, document["diagnostics"][0]["line"]);
}

}  // namespace
