#include "driver/memory_report.h"

#include <unistd.h>

#include <atomic>
#include <string>

#include "driver/messages.h"
#include "util/files.h"

namespace {

// All the handler reads. It is set on the run's own thread before any worker starts, and
// taken back after all have ended.
struct lackOfMemoryReportStruct {
  int fd = -1;
  std::string text;
  std::atomic<bool> started{false};  // a thread has begun to report
};

lackOfMemoryReportStruct report;

}  // namespace

void reportLackOfMemory() {
  // Allocations may fail on several threads at once: the first one tells, and the others wait
  // for it to end the process.
  if (report.started.exchange(true)) {
    for (;;) ::pause();
  }
  if (report.fd >= 0) {
    writeAll(report.fd, report.text.data(), report.text.size());
    // Gives back the room that "error.log" held for a message beyond this one.
    static_cast<void>(::ftruncate(report.fd, static_cast<off_t>(report.text.size())));
  }
  ::_exit(0);
}

void prepareLackOfMemoryReport(int logFd, std::string_view inputPath) {
  report.text.assign(kLackOfMemoryText).append(inputPath).push_back('\n');
  report.fd = logFd;
}

void withdrawLackOfMemoryReport() { report.fd = -1; }
