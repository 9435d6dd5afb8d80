// The benchmark workloads, made small by their own generator, give what the literal nested
// loop gives: the suite's timings are of the right answer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"
#include "e2e/scratch_dir.h"
#include "join/oracle.h"
#include "relations/reader.h"

namespace {

// Runs the generator into `dir` with `arguments`; false when it fails.
bool generate(const std::filesystem::path& dir, const std::string& arguments) {
  std::string command = std::string(RELMERGE_GEN_SCRIPT) + " --out '" + dir.string() + "' " +
                        arguments + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::vector<std::string> workloadsIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  std::string list = readFile(dir / "workloads.txt");
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

TEST(Workloads, SmallInstancesMatchTheOracle) {
  struct Case {
    const char* arguments;
    size_t workloads;
  } cases[] = {
      {"--seed 20240601 --scale 0.002", 6},
      // The large workload is the first one's shape with more rows: fewer still here, as
      // the nested loop takes the square of its rows.
      {"--seed 20240601 --scale 0.0001 --large --only large", 1},
  };
  for (const Case& c : cases) {
    scratchDirStruct dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(generate(dir.path, c.arguments)) << c.arguments;
    std::vector<std::string> names = workloadsIn(dir.path);
    EXPECT_EQ(c.workloads, names.size()) << c.arguments;
    for (const std::string& name : names) {
      std::string script = readFile(dir.path / name / "script.txt");
      std::string generated = readFile(dir.path / name / "expected.txt");
      scriptStruct parsed = readScript(script);
      std::string oracle = script + "\n" + oracleResultBlock(parsed.mainVec, parsed.joinVec);
      ASSERT_GT(oracle.size(), script.size() + 20) << name;
      EXPECT_EQ(oracle, script + generated) << name << ": the generator's own answer";
      for (size_t workers : {1, 2}) {
        std::string output;
        sinkStruct sink = textSink(output);
        workerPoolStruct pool(workers);
        writeOutputOf(script, sink, pool);
        flushSink(sink);
        EXPECT_EQ(oracle, output) << name << ", " << workers << " workers";
      }
    }
  }
}

}  // namespace
