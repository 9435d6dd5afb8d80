#ifndef RELMERGE_DRIVER_LOG_FILE_H_
#define RELMERGE_DRIVER_LOG_FILE_H_

#include <span>
#include <string_view>

// "error.log" in the working folder. It is opened first, but emptied only once it is known not
// to be the input, which a link or the name itself can make it; a run writes at most one
// message to it.
struct logFileStruct {
  int fd = -1;  // -1 when the log is not to be written: it did not open, or is the input
};

// Opens "error.log" for writing, created if missing, its contents kept.
logFileStruct openLog();

// Empties the log.
void startLog(logFileStruct& log);

// Lets go of the log without writing or emptying it: it is the input or the output.
void leaveLog(logFileStruct& log);

// Writes the message made of `parts` whole.
void writeLog(logFileStruct& log, std::span<const std::string_view> parts);

// Closes the log.
void closeLog(logFileStruct& log);

#endif  // RELMERGE_DRIVER_LOG_FILE_H_
