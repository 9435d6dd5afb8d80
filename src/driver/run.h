#ifndef RELMERGE_DRIVER_RUN_H_
#define RELMERGE_DRIVER_RUN_H_

#include <cstddef>
#include <string_view>

#include "join/join_list.h"
#include "output/sink.h"
#include "util/worker_pool.h"

// The workers of a run unless told otherwise: one per processor, at most 8. The writing of the
// result, which one worker at a time does for all, keeps more from gaining much, while each
// costs two buffers and a thread.
size_t defaultWorkers();

// One run of the tool: `relmerge INPUT OUTPUT`, with `workers` sharing the work. Writes
// "error.log" in the working directory and the output file; answers the exit status, which
// is 0 on every path. The bytes written are the same for any number of workers.
int run(int argc, const char* const* argv, size_t workers = defaultWorkers());

// Everything the output file receives for `script`: the echo, then the result block or the
// text that says why there is none. The workers of `pool` share the work; the bytes are the
// same for any number. False when the join is past `limits`: the echo is then all that is
// written.
bool writeOutputOf(std::string_view script, sinkStruct& out, workerPoolStruct& pool,
                   const joinLimitsStruct& limits = {});

#endif  // RELMERGE_DRIVER_RUN_H_
