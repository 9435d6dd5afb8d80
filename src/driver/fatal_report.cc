#include "driver/fatal_report.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <string_view>

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

// All the SIGBUS handler reads besides `report.started`, which both handlers share so that
// only one message is written.
struct lostInputReportStruct {
  int logFd = -1;
  int outputFd = -1;
  std::string text;
  std::atomic<const char*> begin{nullptr};
  std::atomic<const char*> end{nullptr};
};

lostInputReportStruct lostInput;

// Writes `text` to `log` as its only message and empties `emptied` unless it is -1, unless
// another thread has begun to report already, and ends the process.
[[noreturn]] void tellAndExit(int log, std::string_view text, int emptied) {
  // Failures may strike several threads at once: the first one tells, and the others wait for
  // it to end the process.
  if (report.started.exchange(true)) {
    for (;;) ::pause();
  }
  if (emptied >= 0) emptyFile(emptied);
  if (log >= 0) {
    writeAll(log, text.data(), text.size());
    // Gives back the room that "error.log" held for a message beyond this one.
    static_cast<void>(::ftruncate(log, static_cast<off_t>(text.size())));
  }
  ::_exit(0);
}

bool inLostInput(const siginfo_t* info) {
  const char* address = static_cast<const char*>(info->si_addr);
  const char* begin = lostInput.begin.load();
  return info->si_code == BUS_ADRERR && begin != nullptr && address >= begin &&
         address < lostInput.end.load();
}

void onBusError(int signal, siginfo_t* info, void* /*context*/) {
  if (!inLostInput(info)) {
    // The signal, blocked while it is handled, comes again on return, as does the fault of an
    // access, which is retried: either now ends the process as by default.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  // Whatever the output holds came from bytes that were there, but it must not pass for the
  // output of a whole input.
  tellAndExit(lostInput.logFd, lostInput.text, lostInput.outputFd);
}

}  // namespace

void reportLackOfMemory() { tellAndExit(report.fd, report.text, -1); }

void prepareLackOfMemoryReport(int logFd, std::string_view inputPath) {
  report.text.assign(kLackOfMemoryText).append(inputPath).push_back('\n');
  report.fd = logFd;
}

void withdrawLackOfMemoryReport() { report.fd = -1; }

void installLostInputHandler() {
  struct sigaction action = {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

void prepareLostInputReport(int logFd, int outputFd, std::string_view inputPath) {
  lostInput.text.assign(kUnreadableInputText).append(inputPath).push_back('\n');
  lostInput.logFd = logFd;
  lostInput.outputFd = outputFd;
}

void watchInput(std::string_view mapped) {
  // A file is mapped in whole pages: the page that holds its last byte runs on past it.
  auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  lostInput.end.store(mapped.data() + (mapped.size() + page - 1) / page * page);
  lostInput.begin.store(mapped.empty() ? nullptr : mapped.data());
}

void withdrawLostInputReport() {
  lostInput.begin.store(nullptr);
  lostInput.logFd = -1;
  lostInput.outputFd = -1;
}
