#ifndef RELMERGE_DRIVER_FATAL_REPORT_H_
#define RELMERGE_DRIVER_FATAL_REPORT_H_

#include <string_view>

// The faults that end a run at once, on whichever thread they strike: a failed allocation and
// the loss of a mapped input's bytes. Their handlers share one report, so that "error.log"
// receives a single message, and touch nothing but what a run made ready before its work.

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

// Installs the tool's SIGBUS handler. A mapped input that shrinks during the run loses the
// bytes past its new end, and touching them raises SIGBUS: when the address lies in the input
// a run has made known, "error.log" receives the unreadable-input text, the output is emptied,
// and the process ends at once with status 0, as when a read fails. Any other SIGBUS ends the
// process as the signal does by default.
void installLostInputHandler();

// Makes the lost-input report of a run ready: the text for `inputPath` goes to `logFd` (or
// nowhere when it is -1), and `outputFd` is emptied. It only applies once watchInput has
// named the input's bytes.
void prepareLostInputReport(int logFd, int outputFd, std::string_view inputPath);

// The bytes of the mapped input, whose loss the report tells of; empty for an input read into
// memory of its own, which cannot be lost.
void watchInput(std::string_view mapped);

// Takes the lost-input report back, before the input is unmapped or the files are closed.
void withdrawLostInputReport();

#endif  // RELMERGE_DRIVER_FATAL_REPORT_H_
