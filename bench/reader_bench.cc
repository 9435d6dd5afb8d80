#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "null_sink.h"
#include "output/echo.h"
#include "relations/reader.h"
#include "workloads.h"

namespace {

const std::string& millionLineScript() {
  static const std::string script = equiJoinScript(500'000);
  return script;
}

void readMillionLines(benchmark::State& state) {
  const std::string& script = millionLineScript();
  for (auto _ : state) {
    scriptStruct parsed = readScript(script);
    benchmark::DoNotOptimize(parsed.mainVec.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}
BENCHMARK(readMillionLines)->Unit(benchmark::kMillisecond);

// Rows of about 25 bytes, as in a script of ids, numbers and short names: too long for a
// line end to be found among the first bytes, too short for a library search to pay off.
const std::string& millionShortRowsScript() {
  static const std::string script = [] {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<uint32_t> number(0, 2'147'483'647);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text = "R(id int, k int, txt char)\n";
    for (size_t row = 1; row <= 1'000'000; ++row) {
      text.append(std::to_string(row)).append(", ").append(std::to_string(number(random)));
      text += ", ";
      for (int at = 0; at < 6; ++at) text += static_cast<char>(letter(random));
      text += '\n';
    }
    return text;
  }();
  return script;
}

// Rows of a few thousand bytes, where a line end is many windows away.
const std::string& longRowsScript() {
  static const std::string script = [] {
    std::string text = "R(a text, b text)\n";
    for (size_t row = 0; row < 4'000; ++row) {
      text.append(1'000 + row % 4'000, 'x').append(", ").append(1'000, 'y').append("\r\n");
    }
    return text;
  }();
  return script;
}

void readScriptOf(benchmark::State& state, const std::string& script) {
  for (auto _ : state) {
    scriptStruct parsed = readScript(script);
    benchmark::DoNotOptimize(parsed.mainVec.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}

void readMillionShortRows(benchmark::State& state) {
  readScriptOf(state, millionShortRowsScript());
}
BENCHMARK(readMillionShortRows)->Unit(benchmark::kMillisecond);

void readLongRows(benchmark::State& state) { readScriptOf(state, longRowsScript()); }
BENCHMARK(readLongRows)->Unit(benchmark::kMillisecond);

void echoMillionLines(benchmark::State& state) {
  const std::string& script = millionLineScript();
  writeEachIteration(state, [&script](sinkStruct& sink) { writeEcho(sink, script); });
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}
BENCHMARK(echoMillionLines)->Unit(benchmark::kMillisecond);

}  // namespace
