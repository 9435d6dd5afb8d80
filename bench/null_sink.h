#ifndef RELMERGE_BENCH_NULL_SINK_H_
#define RELMERGE_BENCH_NULL_SINK_H_

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "output/sink.h"

// Calls write(sink) once per iteration of `state`, with a fresh sink on /dev/null each time, so
// that a benchmark times making the output and not the disk.
template <typename Write>
void writeEachIteration(benchmark::State& state, Write&& write) {
  int devNull = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    sinkStruct sink = fileSink(devNull);
    write(sink);
    flushSink(sink);
  }
  ::close(devNull);
}

#endif  // RELMERGE_BENCH_NULL_SINK_H_
