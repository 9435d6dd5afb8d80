#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "e2e/messages.h"
#include "e2e/scratch_dir.h"
#include "e2e/tool_process.h"
#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace expectedText;

std::string cat(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) joined.append(part);
  return joined;
}

// Everything a run leaves in its working directory: a file maps to its contents, a folder
// shows as "name/" and a symbolic link as "name@", mapped to its target.
using dirContents = std::map<std::string, std::string>;

// What the working directory holds before a run.
struct setupStruct {
  std::vector<std::pair<std::string, std::string>> fileVec = {};  // path, contents
  std::vector<std::string> folderVec = {};
  std::vector<std::pair<std::string, std::string>> symlinkVec = {};   // link, target
  std::vector<std::pair<std::string, std::string>> hardLinkVec = {};  // link, existing file
};

struct runOutcomeStruct {
  std::string failure;  // why the run could not be staged; empty when it ran
  int waitStatus = -1;
  std::string console;  // all the tool wrote to standard output and standard error
  dirContents contents;
};

std::string stage(const fs::path& work, const setupStruct& setup) {
  std::error_code ec;
  if (!fs::create_directory(work, ec)) return "cannot make " + work.string();
  for (const std::string& folder : setup.folderVec) {
    if (!fs::create_directory(work / folder, ec)) return "cannot make folder " + folder;
  }
  for (const auto& [path, contents] : setup.fileVec) {
    if (!writeFile(work / path, contents)) return "cannot write " + path;
  }
  for (const auto& [link, target] : setup.symlinkVec) {
    fs::create_symlink(target, work / link, ec);
    if (ec) return "cannot link " + link;
  }
  for (const auto& [link, existing] : setup.hardLinkVec) {
    fs::create_hard_link(work / existing, work / link, ec);
    if (ec) return "cannot link " + link;
  }
  return "";
}

dirContents listContents(const fs::path& work) {
  dirContents contents;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(work, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().lexically_relative(work).string();
    if (it->is_symlink(ec)) {
      contents[name + "@"] = fs::read_symlink(it->path(), ec).string();
    } else if (it->is_directory(ec)) {
      contents[name + "/"] = "";
    } else {
      contents[name] = readFile(it->path());
    }
  }
  if (ec) contents["(listing failed)"] = ec.message();
  return contents;
}

// Runs the tool in `work` and waits for it; answers the wait status, or -1 when it could not
// be started. Standard input is empty; standard output and error go to `consolePath`.
int runIn(const fs::path& work, const std::vector<std::string>& argVec,
          const fs::path& consolePath) {
  const int console = open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (console < 0) return -1;
  // Started under another name: the usage text must name the tool all the same.
  const int status =
      waitFor(startTool(work, argVec, {.name = "renamed-tool", .consoleFd = console}));
  close(console);
  return status;
}

runOutcomeStruct runTool(const setupStruct& setup, const std::vector<std::string>& argVec) {
  runOutcomeStruct outcome;
  scratchDirStruct dir;
  if (dir.path.empty()) {
    outcome.failure = "cannot make a temporary folder";
    return outcome;
  }
  const fs::path work = dir.path / "work";
  const fs::path console = dir.path / "console";
  outcome.failure = stage(work, setup);
  if (!outcome.failure.empty()) return outcome;
  outcome.waitStatus = runIn(work, argVec, console);
  if (outcome.waitStatus == -1) {
    outcome.failure = "cannot start " RELMERGE_BINARY;
    return outcome;
  }
  outcome.console = readFile(console);
  outcome.contents = listContents(work);
  return outcome;
}

// Runs one case and compares the whole working directory with `expected`, file by file.
void expectRun(std::string_view name, const setupStruct& setup,
               const std::vector<std::string>& argVec, const dirContents& expected) {
  const runOutcomeStruct outcome = runTool(setup, argVec);
  ASSERT_EQ("", outcome.failure) << name;
  const int status = outcome.waitStatus;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": wait status " << status;
  EXPECT_EQ("", outcome.console) << name;
  for (const auto& [path, text] : expected) {
    const auto found = outcome.contents.find(path);
    if (found == outcome.contents.end()) {
      ADD_FAILURE() << name << ": " << path << " is missing";
    } else {
      EXPECT_EQ(text, found->second) << name << ": " << path;
    }
  }
  for (const auto& entry : outcome.contents) {
    EXPECT_TRUE(expected.contains(entry.first)) << name << ": unexpected " << entry.first;
  }
}

constexpr std::string_view kScript = "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n";
constexpr std::string_view kScriptOutput =
    "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n\n"
    "\nresult(a int)\n1\n\n";

struct runCaseStruct {
  std::string_view name;
  setupStruct setup;
  std::vector<std::string> argVec;
  dirContents after;
};

TEST(EndToEnd, FilesOfARun) {
  const std::string script(kScript);
  const runCaseStruct cases[] = {
      {"no argument",
       {.fileVec = {{"in.txt", script}}},
       {},
       {{"error.log", std::string(kUsageText)}, {"in.txt", script}}},
      {"one argument",
       {.fileVec = {{"in.txt", script}}},
       {"in.txt"},
       {{"error.log", std::string(kUsageText)}, {"in.txt", script}}},
      {"three arguments leave every file alone",
       {.fileVec = {{"in.txt", script}, {"out.txt", "old\n"}, {"error.log", "old log\n"}}},
       {"in.txt", "out.txt", "extra"},
       {{"error.log", std::string(kUsageText)}, {"in.txt", script}, {"out.txt", "old\n"}}},
      {"missing input", {}, {"nincs.txt", "out.txt"}, {{"error.log", missingInput("nincs.txt")}}},
      {"missing input keeps an existing output",
       {.fileVec = {{"out.txt", "old\n"}}},
       {"hi\xE1nyz\xF3.txt", "out.txt"},
       {{"error.log", missingInput("hi\xE1nyz\xF3.txt")}, {"out.txt", "old\n"}}},
      {"empty first argument", {}, {"", "out.txt"}, {{"error.log", missingInput("")}}},
      {"folder as input",
       {.folderVec = {"indir"}},
       {"indir", "out.txt"},
       {{"error.log", missingInput("indir")}, {"indir/", ""}}},
      {"device as input",
       {},
       {"/dev/null", "out.txt"},
       {{"error.log", ""}, {"out.txt", cat({"\n", kJoinStructureText})}}},
      {"output in a missing folder",
       {.fileVec = {{"in.txt", script}}},
       {"in.txt", "nincs/out.txt"},
       {{"error.log", outputNotWritable("nincs/out.txt")}, {"in.txt", script}}},
      {"folder as output",
       {.fileVec = {{"in.txt", script}}, .folderVec = {"outdir"}},
       {"in.txt", "outdir"},
       {{"error.log", outputNotWritable("outdir")}, {"in.txt", script}, {"outdir/", ""}}},
      {"missing input is told before an output that cannot be written",
       {},
       {"nincs.txt", "nincs/out.txt"},
       {{"error.log", missingInput("nincs.txt")}}},
      {"same path twice",
       {.fileVec = {{"in.txt", script}}},
       {"in.txt", "in.txt"},
       {{"error.log", sameFile("in.txt")}, {"in.txt", script}}},
      {"same file by another path",
       {.fileVec = {{"in.txt", script}}},
       {"in.txt", "./in.txt"},
       {{"error.log", sameFile("./in.txt")}, {"in.txt", script}}},
      {"output is a symbolic link to the input",
       {.fileVec = {{"in.txt", script}}, .symlinkVec = {{"link.txt", "in.txt"}}},
       {"in.txt", "link.txt"},
       {{"error.log", sameFile("link.txt")}, {"in.txt", script}, {"link.txt@", "in.txt"}}},
      {"input is a symbolic link to the output",
       {.fileVec = {{"in.txt", script}}, .symlinkVec = {{"link.txt", "in.txt"}}},
       {"link.txt", "in.txt"},
       {{"error.log", sameFile("in.txt")}, {"in.txt", script}, {"link.txt@", "in.txt"}}},
      {"output is a hard link to the input",
       {.fileVec = {{"in.txt", script}}, .hardLinkVec = {{"hard.txt", "in.txt"}}},
       {"in.txt", "hard.txt"},
       {{"error.log", sameFile("hard.txt")}, {"in.txt", script}, {"hard.txt", script}}},
      {"error.log named as the input is read, not emptied",
       {.fileVec = {{"error.log", script}}},
       {"error.log", "out.txt"},
       {{"error.log", script}, {"out.txt", std::string(kScriptOutput)}}},
      {"error.log as a symbolic link to the input",
       {.fileVec = {{"in.txt", script}}, .symlinkVec = {{"error.log", "in.txt"}}},
       {"in.txt", "out.txt"},
       {{"error.log@", "in.txt"}, {"in.txt", script}, {"out.txt", std::string(kScriptOutput)}}},
      {"error.log as a hard link to the input",
       {.fileVec = {{"in.txt", script}}, .hardLinkVec = {{"error.log", "in.txt"}}},
       {"in.txt", "out.txt"},
       {{"error.log", script}, {"in.txt", script}, {"out.txt", std::string(kScriptOutput)}}},
      {"a message is dropped rather than written into the input",
       {.fileVec = {{"in.txt", script}}, .symlinkVec = {{"error.log", "in.txt"}}},
       {"in.txt", "nincs/out.txt"},
       {{"error.log@", "in.txt"}, {"in.txt", script}}},
      {"error.log named as the output holds the output",
       {.fileVec = {{"in.txt", script}, {"error.log", "old log\n"}}},
       {"in.txt", "error.log"},
       {{"error.log", std::string(kScriptOutput)}, {"in.txt", script}}},
      {"a read error is told, and the output receives nothing",
       {.fileVec = {{"out.txt", "old\n"}}},
       {"/proc/self/mem", "out.txt"},
       {{"error.log", unreadableInput("/proc/self/mem")}, {"out.txt", ""}}},
      {"one device as input and output", {}, {"/dev/null", "/dev/null"}, {{"error.log", ""}}},
      {"a good run empties an earlier error.log",
       {.fileVec = {{"in.txt", script}, {"error.log", missingInput("x")}}},
       {"in.txt", "out.txt"},
       {{"error.log", ""}, {"in.txt", script}, {"out.txt", std::string(kScriptOutput)}}},
      {"a longer earlier output is replaced whole",
       {.fileVec = {{"in.txt", script}, {"out.txt", std::string(200, 'o')}}},
       {"in.txt", "out.txt"},
       {{"error.log", ""}, {"in.txt", script}, {"out.txt", std::string(kScriptOutput)}}},
  };
  for (const runCaseStruct& c : cases) expectRun(c.name, c.setup, c.argVec, c.after);
}

TEST(EndToEnd, FullDeviceAsOutput) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::string script(kScript);
  expectRun("full device", {.fileVec = {{"in.txt", script}}}, {"in.txt", "/dev/full"},
            {{"error.log", outputNotWritable("/dev/full")}, {"in.txt", script}});
}

void expectScriptRun(std::string_view name, const std::string& script, const std::string& output) {
  expectRun(name, {.fileVec = {{"in.txt", script}}}, {"in.txt", "out.txt"},
            {{"error.log", ""}, {"in.txt", script}, {"out.txt", output}});
}

struct scriptCaseStruct {
  std::string_view name;
  std::string script;
  std::string output;  // the whole output file
};

TEST(EndToEnd, EchoAndLineEnds) {
  const scriptCaseStruct cases[] = {
      {"empty input", "", cat({"\n", kJoinStructureText})},
      {"no join line", "R(a int)\n1\n\nfree text\n",
       cat({"R(a int)\n1\n\nfree text\n\n", kJoinStructureText})},
      {"join line with one name", "R(a int)\n1\n\njoin(R)\n",
       cat({"R(a int)\n1\n\njoin(R)\n\n", kJoinStructureText})},
      {"CR LF line ends read as LF",
       "R(a int, b char)\r\n1, x\r\n\r\nS(b char, c int)\r\nx, 10\r\n\r\njoin(R, S)\r\n",
       "R(a int, b char)\n1, x\n\nS(b char, c int)\nx, 10\n\njoin(R, S)\n\n"
       "\nresult(a int, b char, c int)\n1, x, 10\n\n"},
      {"join line last, without line end", "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)",
       "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S)\n"
       "\nresult(a int)\n1\n\n"},
      {"data line last, without line end",
       "join(R, S)\nR(a int, b int)\n1, 2\n\nS(b int, c int)\n2, 3",
       "join(R, S)\nR(a int, b int)\n1, 2\n\nS(b int, c int)\n2, 3\n"
       "\nresult(a int, b int, c int)\n1, 2, 3\n\n"},
      {"CR at the very end stays in the value", "join(R, S)\nR(a int)\n1\r\n\nS(a int)\n1\r",
       "join(R, S)\nR(a int)\n1\n\nS(a int)\n1\r\n"
       "\nresult(a int)\n\n"},
      {"lone CR, tab, NUL and bytes 80-FF pass through",
       "T(k int, v sz\xF6veg)\n1, a\rb\n2, \t\0\xE9\xFF\n3, c\r\r\n\n"
       "\xDC(k int)\n1\n2\n3\n\njoin(T, \xDC)\n"s,
       "T(k int, v sz\xF6veg)\n1, a\rb\n2, \t\0\xE9\xFF\n3, c\r\n\n"
       "\xDC(k int)\n1\n2\n3\n\njoin(T, \xDC)\n\n"
       "\nresult(k int, v sz\xF6veg)\n1, a\rb\n2, \t\0\xE9\xFF\n3, c\r\n\n"s},
  };
  for (const scriptCaseStruct& c : cases) expectScriptRun(c.name, c.script, c.output);
}

struct joinCaseStruct {
  std::string_view name;
  std::string_view script;     // ends with a line end
  std::string_view afterEcho;  // all that the output file holds after the echo
};

TEST(EndToEnd, Joins) {
  const std::string unknownX = unknownRelation("X");
  const std::string unknownSBlank = unknownRelation("S ");
  const std::string unknownR = unknownRelation("r");
  const std::string unknownY = unknownRelation("Y");
  const std::string unknownIdInt = unknownRelation("id int");
  const joinCaseStruct cases[] = {
      {"two relations sharing one attribute",
       "R(a int, b char)\n1, x\n2, y\n\nS(b char, c int)\nx, 10\nx, 11\n\njoin(R, S)\n",
       "\nresult(a int, b char, c int)\n1, x, 10\n1, x, 11\n\n"},
      {"left-major rows, duplicates kept, common value of the right row skipped",
       "L(a int, b str)\n1, x\n2, y\n1, x\n\nR(c int, b str)\n10, x\n30, z\n20, x\n\n"
       "join(L, R)\n",
       "\nresult(a int, b str, c int)\n1, x, 10\n1, x, 20\n1, x, 10\n1, x, 20\n\n"},
      {"same name with another type gives the Cartesian product",
       "L(a int, b str)\n1, x\n2, y\n1, x\n\nR(c int, b int)\n10, x\n30, z\n20, x\n\n"
       "join(L, R)\n",
       "\nresult(a int, b str, c int, b int)\n"
       "1, x, 10, x\n1, x, 30, z\n1, x, 20, x\n"
       "2, y, 10, x\n2, y, 30, z\n2, y, 20, x\n"
       "1, x, 10, x\n1, x, 30, z\n1, x, 20, x\n\n"},
      {"Cartesian product", "R(a int)\n1\n2\n\nS(b char)\nx\ny\n\njoin(R, S)\n",
       "\nresult(a int, b char)\n1, x\n1, y\n2, x\n2, y\n\n"},
      {"values split at every comma, written with one blank after it",
       "R(a int,b char)\n1,x\n2,  y\n\nS(b char, c int)\nx,10\n y, 20\n\nT(d char)\np,q,\n\n"
       "join(R, S, T)\n",
       "\nresult(a int, b char, c int, d char)\n1, x, 10, p, q, \n2,  y, 20, p, q, \n\n"},
      {"third relation joined on an attribute of the second",
       "L(a int, b str)\n1, x\n2, y\n1, x\n\nR(c int, b str)\n10, x\n30, z\n20, x\n\n"
       "T(c int, d str)\n10, p\n20, q\n10, r\n\njoin(L, R, T)\n",
       "\nresult(a int, b str, c int, d str)\n"
       "1, x, 10, p\n1, x, 10, r\n1, x, 20, q\n1, x, 10, p\n1, x, 10, r\n1, x, 20, q\n\n"},
      {"third relation sharing nothing",
       "L(a int, b str)\n1, x\n2, y\n1, x\n\nR(c int, b str)\n10, x\n30, z\n20, x\n\n"
       "T(e str)\nu\nv\n\njoin(L, R, T)\n",
       "\nresult(a int, b str, c int, e str)\n"
       "1, x, 10, u\n1, x, 10, v\n1, x, 20, u\n1, x, 20, v\n"
       "1, x, 10, u\n1, x, 10, v\n1, x, 20, u\n1, x, 20, v\n\n"},
      {"right row without partner",
       "R(a int, b char)\n1, x\n2, y\n\nS(b char, c int)\nx, 10\nx, 11\nz, 12\n\njoin(R, S)\n",
       "\nresult(a int, b char, c int)\n1, x, 10\n1, x, 11\n\n"},
      {"leading shorter row removed",
       "R(a int, b char)\n1, x\n2, x, extra\n\nS(b char, c int)\nx, 10\n\njoin(R, S)\n",
       "\nresult(a int, b char, c int)\n2, x, extra, 10\n\n"},
      {"shorter row after the longest kept",
       "R(a int, b char)\n2, x, extra\n1, x\n\nS(b char, c int)\nx, 10\n\njoin(R, S)\n",
       "\nresult(a int, b char, c int)\n2, x, extra, 10\n1, x, 10\n\n"},
      {"only the leading run of short rows removed",
       "R(a int)\n1\n2\n3, extra\n4\n5, more\n\nS(b int)\n9\n\njoin(R, S)\n",
       "\nresult(a int, b int)\n3, extra, 9\n4, 9\n5, more, 9\n\n"},
      {"four relations in a chain",
       "R1(a int, b int)\n1, 2\n5, 6\n\nR2(b int, c int)\n2, 3\n2, 4\n6, 7\n\n"
       "R3(c int, d int)\n3, 8\n4, 9\n7, 0\n\nR4(d int, e int)\n8, 1\n9, 2\n9, 3\n\n"
       "join(R1, R2, R3, R4)\n",
       "\nresult(a int, b int, c int, d int, e int)\n"
       "1, 2, 3, 8, 1\n1, 2, 4, 9, 2\n1, 2, 4, 9, 3\n\n"},
      {"no matching pair", "R(a int, b int)\n1, 2\n\nS(b int, c int)\n3, 4\n\njoin(R, S)\n",
       "\nresult(a int, b int, c int)\n\n"},
      {"names of two join lines", "join(R)\nR(a int)\n1\n\nS(a int)\n1\n\njoin(S)\n",
       "\nresult(a int)\n1\n\n"},
      {"first of two relations with one name",
       "R(a int)\n1\n\nR(a int)\n2\n\nS(a int)\n1\n2\n\njoin(R, S)\n", "\nresult(a int)\n1\n\n"},
      {"values compared byte for byte",
       "R(a str)\n1\n01\nA\nx \n\nS(a str)\n01\na\nx\n\njoin(R, S)\n", "\nresult(a str)\n01\n\n"},
      {"unknown first name", "R(a int)\n1\n\nS(a int)\n1\n\njoin(X, S)\n", unknownX},
      {"unknown second name", "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S )\n", unknownSBlank},
      {"unknown third name", "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, S, r)\n", unknownR},
      {"first unknown name told", "R(a int)\n1\n\nS(a int)\n1\n\njoin(R, Y, X)\n", unknownY},
      {"one unknown name is a join structure fault", "R(a int)\n1\n\njoin(X)\n",
       kJoinStructureText},
      {"missing common value matches nothing, an empty one matches empty",
       "R(a int, b int)\n1, 2\n3\n4, \n\nS(c int, b int)\n5, 2\n6\n7, \n\njoin(R, S)\n",
       "\nresult(a int, b int, c int)\n1, 2, 5\n4, , 7\n\n"},
      {"missing common value in a further step",
       "R(a int, b int)\n1, 2\n\nS(b int, c int)\n2\n2, 3\n\nT(c int, d int)\n3, 4\n\n"
       "join(R, S, T)\n",
       "\nresult(a int, b int, c int, d int)\n1, 2, 3, 4\n\n"},
      {"header holding join is a join line",
       "R(id int)\n1\n\nS(id int, join_date date)\n1, 2024\n\njoin(R, S)\n", unknownIdInt},
      {"join inside a block is data",
       "R(a int, note str)\n1, join me\n2, x\n\nS(a int)\n1\n2\n\njoin(R, S)\n",
       "\nresult(a int, note str)\n1, join me\n2, x\n\n"},
      {"join line right after data lines is data", "R(a int)\n1\njoin(R, R)\n", kJoinStructureText},
      {"common attribute declared twice on the right",
       "R(a int, b int)\n1, 2\n\nS(b int, c int, b int)\n2, 5, 7\n2, 6, 9\n3, 5, 2\n\n"
       "join(R, S)\n",
       "\nresult(a int, b int, c int)\n1, 2, 5, 7\n1, 2, 6, 9\n\n"},
      {"attribute declared twice in a Cartesian product",
       "R(a int)\n1\n\nS(b int, b int)\n2, 3\n\njoin(R, S)\n",
       "\nresult(a int, b int, b int)\n1, 2, 3\n\n"},
      {"common attribute declared twice on the left",
       "R(b int, b int)\n2, 9\n\nS(b int, c int)\n2, 5\n\njoin(R, S)\n",
       "\nresult(b int, b int, c int)\n2, 9, 5\n\n"},
  };
  // The echo of a script that ends with a line end is the script and one empty line.
  for (const joinCaseStruct& c : cases) {
    ASSERT_TRUE(c.script.ends_with('\n')) << c.name;
    expectScriptRun(c.name, std::string(c.script), cat({c.script, "\n", c.afterEcho}));
  }
}

}  // namespace
