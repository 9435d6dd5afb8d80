#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

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

void echoMillionLines(benchmark::State& state) {
  const std::string& script = millionLineScript();
  int devNull = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    sinkStruct sink = fileSink(devNull);
    writeEcho(sink, script);
    flushSink(sink);
  }
  ::close(devNull);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}
BENCHMARK(echoMillionLines)->Unit(benchmark::kMillisecond);

}  // namespace
