#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "driver/run.h"
#include "workloads.h"

namespace {

// The whole output of a script (echo, join, result block) written to /dev/null.
void writeWholeOutput(benchmark::State& state, const std::string& script) {
  int devNull = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    sinkStruct sink = fileSink(devNull);
    writeOutputOf(script, sink);
    flushSink(sink);
  }
  ::close(devNull);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}

void joinMillionByMillion(benchmark::State& state) {
  static const std::string script = equiJoinScript(1'000'000);
  writeWholeOutput(state, script);
}
BENCHMARK(joinMillionByMillion)->Unit(benchmark::kMillisecond);

void productTwoThousandSquared(benchmark::State& state) {
  static const std::string script = productScript(2'000);
  writeWholeOutput(state, script);
}
BENCHMARK(productTwoThousandSquared)->Unit(benchmark::kMillisecond);

}  // namespace
