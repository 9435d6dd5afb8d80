#ifndef RELMERGE_DRIVER_LOG_FILE_H_
#define RELMERGE_DRIVER_LOG_FILE_H_

#include <cstddef>
#include <span>
#include <string_view>

// "error.log" in the working folder. It is opened first, but emptied only once it is known not
// to be the input, which a link or the name itself can make it; a run writes at most one
// message to it.
struct logFileStruct {
  int fd = -1;  // -1 when the log is not to be written: it did not open, or is the input
  size_t written = 0;
  bool reserved = false;  // room on the disk is held for a message
};

// Opens "error.log" for writing, created if missing, its contents kept.
logFileStruct openLog();

// Empties the log and holds room on its disk for a message of up to `longest` bytes, so that a
// disk that the output fills cannot keep the message out.
void startLog(logFileStruct& log, size_t longest);

// Lets go of the log without writing, emptying or shortening it: it is the input or the output.
void leaveLog(logFileStruct& log);

// Writes the message made of `parts` whole.
void writeLog(logFileStruct& log, std::span<const std::string_view> parts);

// Gives back the room held beyond what was written, and closes the log.
void closeLog(logFileStruct& log);

#endif  // RELMERGE_DRIVER_LOG_FILE_H_
