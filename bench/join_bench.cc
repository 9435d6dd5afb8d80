#include <benchmark/benchmark.h>

#include "driver/run.h"
#include "join/join.h"
#include "null_sink.h"
#include "output/writer.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "util/large_allocator.h"
#include "workloads.h"

namespace {

// Any seed makes the same rows; a fixed one keeps the runs alike.
constexpr uint64_t kSeed = 0x5EED;

// The whole output of a script (echo, join, result block) written to /dev/null.
void writeWholeOutput(benchmark::State& state, const std::string& script) {
  workerPoolStruct solo(1);
  writeEachIteration(state, [&](sinkStruct& sink) { writeOutputOf(script, sink, solo); });
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}

void joinMillionByMillion(benchmark::State& state) {
  static const std::string script = equiJoinScript(1'000'000);
  writeWholeOutput(state, script);
}
BENCHMARK(joinMillionByMillion)->Unit(benchmark::kMillisecond);

// The whole output of the million-row join shared among state.range(0) workers, up to more
// than the processors of most machines: wall time, and the processor time of all workers.
// Past the processors there are, the wall time shows what sharing costs; the share of the
// time that stays serial (the echo, the order of the writes) shows how far more would go.
void joinMillionByMillionOnWorkers(benchmark::State& state) {
  static const std::string script = equiJoinScript(1'000'000);
  workerPoolStruct pool(static_cast<size_t>(state.range(0)));
  writeEachIteration(state, [&](sinkStruct& sink) { writeOutputOf(script, sink, pool); });
  state.counters["workers"] = static_cast<double>(poolWorkers(pool));
}
BENCHMARK(joinMillionByMillionOnWorkers)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(16)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void productTwoThousandSquared(benchmark::State& state) {
  static const std::string script = productScript(2'000);
  writeWholeOutput(state, script);
}
BENCHMARK(productTwoThousandSquared)->Unit(benchmark::kMillisecond);

// The stages of a join on their own, on the million-row script read once. The text lies in
// small pages, as a mapped input does, so the page walks of rows read in random order are
// measured with the join.
struct preparedScriptStruct {
  std::vector<char, largeAllocator<char>> text;
  scriptStruct script;
  std::vector<int32_t> tables;
};

const preparedScriptStruct& millionByMillion() {
  static const preparedScriptStruct prepared = [] {
    std::string text = equiJoinScript(1'000'000);
    preparedScriptStruct made{{text.begin(), text.end()}, {}, {}};
    made.script = readScript(std::string_view(made.text.data(), made.text.size()));
    made.tables = findTables(made.script.joinVec, made.script.mainVec, kSeed);
    return made;
  }();
  return prepared;
}

void indexMillionRows(benchmark::State& state) {
  const preparedScriptStruct& prepared = millionByMillion();
  for (auto _ : state) {
    rowIndexStruct index = buildRowIndex(prepared.script.mainVec[1], {0}, kSeed);
    benchmark::DoNotOptimize(index.indexedRows);
  }
}
BENCHMARK(indexMillionRows)->Unit(benchmark::kMillisecond);

void walkMillionResultRows(benchmark::State& state) {
  const preparedScriptStruct& prepared = millionByMillion();
  workerPoolStruct solo(1);
  joinStruct join = prepareJoin(prepared.script.mainVec, prepared.tables, kSeed, solo);
  for (auto _ : state) {
    size_t rows = 0;
    forEachResultBlock(join, [&rows](const resultBlockStruct& block) {
      rows += block.size;
      return true;
    });
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(walkMillionResultRows)->Unit(benchmark::kMillisecond);

void writeMillionResultRows(benchmark::State& state) {
  const preparedScriptStruct& prepared = millionByMillion();
  workerPoolStruct solo(1);
  joinStruct join = prepareJoin(prepared.script.mainVec, prepared.tables, kSeed, solo);
  writeEachIteration(state, [&](sinkStruct& sink) { writeResult(sink, join, solo); });
}
BENCHMARK(writeMillionResultRows)->Unit(benchmark::kMillisecond);

}  // namespace
