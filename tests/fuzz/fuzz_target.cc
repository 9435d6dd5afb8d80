// Runs any byte string through the whole tool in memory and checks the output against what
// the script asks for: the echo first, then the fixed text or the literal oracle's result.
// relmerge-check's report on the same bytes must be valid JSON and tell the same outcome and
// number of rows as the output holds.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_with.h"
#include "check/json_report.h"
#include "check/script_check.h"
#include "check/text_report.h"
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

// What the output holds after the echo: "join-structure", "unknown-relation", or the number of
// rows of its result block.
std::string outcomeOf(std::string_view script, std::string_view output) {
  size_t crLfs = 0;
  for (size_t at = script.find("\r\n"); at != std::string_view::npos;
       at = script.find("\r\n", at + 1)) {
    ++crLfs;
  }
  std::string_view tail = output.substr(script.size() - crLfs + 1);
  if (tail.rfind("Hib", 0) == 0) return "join-structure";
  if (tail.rfind("A megadott", 0) == 0) return "unknown-relation";
  size_t feeds = 0;
  for (char byte : tail) feeds += byte == '\n' ? 1 : 0;
  return std::to_string(feeds - 3);  // the empty lines around the block and the heading's end
}

// What relmerge-check tells of the script, in the terms of outcomeOf.
std::string checkedOutcomeOf(std::string_view script) {
  checkReportStruct report = checkWith(script);
  std::string text;
  reportOutStruct textOut = reportInto(text);
  writeTextReport(report, {"script", true, false}, textOut);
  std::string json;
  reportOutStruct jsonOut = reportInto(json);
  writeJsonReport(report, jsonOut);
  if (!finishReport(textOut) || !finishReport(jsonOut)) failWith("report not taken", "", "");
  if (!nlohmann::json::accept(json)) failWith("report is not JSON", "", json);
  nlohmann::json document = nlohmann::json::parse(json);
  if (document["outcome"] != "result") return document["outcome"].get<std::string>();
  const nlohmann::json& rows = document["result"]["rows"];
  return rows.is_string() ? rows.get<std::string>() : std::to_string(rows.get<uint64_t>());
}

void runAndCompare(std::string_view script) {
  expectedOutputStruct expected = expectedOutputOf(script, kMaxOracleRows);
  if (expected.joinWorkBound > kMaxJoinWork || expected.resultBytesBound > kMaxOutputBytes) {
    prepareAndWalk(script, expected.joinWorkBound <= kMaxJoinWork);
    return;
  }
  std::string_view output = outputOf(script);
  if (expected.complete) {
    if (output != expected.text) failWith("output differs", expected.text, output);
    std::string told = outcomeOf(script, output);
    std::string checked = checkedOutcomeOf(script);
    if (told != checked) failWith("relmerge-check tells another outcome", told, checked);
  } else if (output.substr(0, expected.text.size()) != expected.text) {
    failWith("echo differs", expected.text, output);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  runAndCompare(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
