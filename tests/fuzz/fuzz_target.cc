// Runs any byte string through the whole tool in memory and checks the output against what
// the script asks for: the echo first, then the fixed text or the literal oracle's result.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "fuzz/expected_output.h"
#include "join/join.h"
#include "output/sink.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/random_seed.h"

namespace {

// A few hundred bytes can ask for a join of astronomic size, which is the script's right;
// beyond these bounds one input would cost seconds.
constexpr double kMaxJoinWork = 1.0e6;
constexpr double kMaxOutputBytes = 1.0e6;
constexpr double kMaxOracleRows = 4.0e3;
constexpr size_t kMaxWalkedRows = 20000;

[[noreturn]] void failWith(const char* what, std::string_view expected, std::string_view actual) {
  std::fprintf(stderr, "%s\nexpected %zu bytes:\n%.*s\nactual %zu bytes:\n%.*s\n", what,
               expected.size(), static_cast<int>(expected.size()), expected.data(), actual.size(),
               static_cast<int>(actual.size()), actual.data());
  std::abort();
}

// One sink serves every input: a fresh one faults in its whole buffer, which took most of the
// time of a run. Each input starts it empty, so no input sees another's bytes.
std::string_view outputOf(std::string_view script) {
  static std::string output;
  static sinkStruct sink = textSink(output);
  output.clear();
  sink.used = 0;
  sink.failed = false;
  workerPoolStruct solo(1);
  writeOutputOf(script, sink, solo);
  flushSink(sink);
  return output;
}

// For a join too large to run whole: plans it and builds its indexes, and when the work is
// bounded walks its first rows, all under the sanitizers.
void prepareAndWalk(std::string_view script, bool walk) {
  scriptStruct parsed = readScript(script);
  uint64_t seed = randomSeed();
  workerPoolStruct solo(1);
  joinStruct join =
      prepareJoin(parsed.mainVec, findTables(parsed.joinVec, parsed.mainVec, seed), seed, solo);
  if (!walk) return;
  size_t walked = 0;
  forEachResultBlock(join, [&walked](const resultBlockStruct& block) {
    walked += block.size;
    return walked < kMaxWalkedRows;
  });
}

void checkScript(std::string_view script) {
  expectedOutputStruct expected = expectedOutputOf(script, kMaxOracleRows);
  if (expected.joinWorkBound > kMaxJoinWork || expected.resultBytesBound > kMaxOutputBytes) {
    prepareAndWalk(script, expected.joinWorkBound <= kMaxJoinWork);
    return;
  }
  std::string_view output = outputOf(script);
  if (expected.complete) {
    if (output != expected.text) failWith("output differs", expected.text, output);
  } else if (output.substr(0, expected.text.size()) != expected.text) {
    failWith("echo differs", expected.text, output);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkScript(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
