#include "driver/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include "util/files.h"

logFileStruct openLog() { return {openKeeping("error.log"), 0, false}; }

void startLog(logFileStruct& log, size_t longest) {
  if (log.fd < 0) return;
  if (::ftruncate(log.fd, 0) != 0) return;
  // The room lies past the end of the empty file, which stays empty; a file system that
  // cannot hold room this way leaves the message to take its chances.
  log.reserved =
      longest > 0 && ::fallocate(log.fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(longest)) == 0;
}

void leaveLog(logFileStruct& log) {
  closeFile(log.fd);
  log = {};
}

void writeLog(logFileStruct& log, std::span<const std::string_view> parts) {
  if (log.fd < 0) return;
  // Written or not, the bytes that went out are where the file is now.
  writeAllOf(log.fd, parts);
  off_t at = ::lseek(log.fd, 0, SEEK_CUR);
  if (at > 0) log.written = static_cast<size_t>(at);
}

void closeLog(logFileStruct& log) {
  if (log.reserved) static_cast<void>(::ftruncate(log.fd, static_cast<off_t>(log.written)));
  closeFile(log.fd);
  log = {};
}
