#ifndef RELMERGE_OUTPUT_ECHO_H_
#define RELMERGE_OUTPUT_ECHO_H_

#include <string_view>

#include "output/sink.h"

// Writes every line of the script followed by "\n": the script with each CR LF turned into
// LF, plus one "\n" for the line after its last line feed.
void writeEcho(sinkStruct& sink, std::string_view script);

#endif  // RELMERGE_OUTPUT_ECHO_H_
