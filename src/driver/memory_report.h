#ifndef RELMERGE_DRIVER_MEMORY_REPORT_H_
#define RELMERGE_DRIVER_MEMORY_REPORT_H_

#include <string_view>

// The tool's allocation-failure handler, which main installs with std::set_new_handler and to
// which every allocation that fails comes, on any thread: "error.log" receives the
// lack-of-memory text for the input, if a run has made it ready, and the process ends at once
// with status 0. The output keeps what it holds, a beginning of the whole output. Never
// returns.
[[noreturn]] void reportLackOfMemory();

// Makes the report of a run ready before its first large allocation, so that the handler
// needs no memory of its own: the text for `inputPath` goes to `logFd`, an emptied
// "error.log", or nowhere when it is -1.
void prepareLackOfMemoryReport(int logFd, std::string_view inputPath);

// Takes the report back before `logFd` is written or closed: a failure after it ends the
// process without a message.
void withdrawLackOfMemoryReport();

#endif  // RELMERGE_DRIVER_MEMORY_REPORT_H_
