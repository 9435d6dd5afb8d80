#ifndef RELMERGE_DRIVER_RUN_H_
#define RELMERGE_DRIVER_RUN_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "join/row_index.h"
#include "output/sink.h"

// One run of the tool: `relmerge INPUT OUTPUT`. Writes "error.log" in the working directory
// and the output file; answers the exit status, which is 0 on every path.
int run(int argc, const char* const* argv);

// The join numbers the rows of a relation in 32 bits, of which the index takes the highest to
// mark the last row of a chain; no row number may have it, and none may equal kNoRow with it.
inline constexpr size_t kMostRelationRows = kLastRow - 1;
// Attributes, relations and names are counted by signed 32-bit positions.
inline constexpr size_t kMostPositions = INT32_MAX;

// How large a join may be: beyond these numbers its rows and positions would wrap around.
struct joinLimitsStruct {
  size_t mostRows = kMostRelationRows;    // of a relation of the join
  size_t mostPositions = kMostPositions;  // attributes of a relation or of the result,
                                          // relations of the script, names of the join list
};

// Everything the output file receives for `script`: the echo, then the result block or the
// text that says why there is none. Up to `workers` threads share the work; the bytes are
// the same for any number. False when the join is past `limits`: the echo is then all that is
// written.
bool writeOutputOf(std::string_view script, sinkStruct& out, size_t workers = 1,
                   const joinLimitsStruct& limits = {});

#endif  // RELMERGE_DRIVER_RUN_H_
