#ifndef RELMERGE_DRIVER_RUN_H_
#define RELMERGE_DRIVER_RUN_H_

#include <cstddef>
#include <string_view>

#include "join/join_list.h"
#include "output/sink.h"

// One run of the tool: `relmerge INPUT OUTPUT`. Writes "error.log" in the working directory
// and the output file; answers the exit status, which is 0 on every path.
int run(int argc, const char* const* argv);

// Everything the output file receives for `script`: the echo, then the result block or the
// text that says why there is none. Up to `workers` threads share the work; the bytes are
// the same for any number. False when the join is past `limits`: the echo is then all that is
// written.
bool writeOutputOf(std::string_view script, sinkStruct& out, size_t workers = 1,
                   const joinLimitsStruct& limits = {});

#endif  // RELMERGE_DRIVER_RUN_H_
