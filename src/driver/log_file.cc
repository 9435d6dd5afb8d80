#include "driver/log_file.h"

#include <unistd.h>

#include "driver/files.h"

logFileStruct openLog() { return {openKeeping("error.log")}; }

void startLog(logFileStruct& log) {
  if (log.fd >= 0) static_cast<void>(::ftruncate(log.fd, 0));
}

void leaveLog(logFileStruct& log) {
  closeFile(log.fd);
  log = {};
}

void writeLog(logFileStruct& log, std::span<const std::string_view> parts) {
  if (log.fd >= 0) writeAllOf(log.fd, parts);
}

void closeLog(logFileStruct& log) {
  closeFile(log.fd);
  log = {};
}
