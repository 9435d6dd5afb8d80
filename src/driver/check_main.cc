#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "check/json_report.h"
#include "check/report_out.h"
#include "check/script_check.h"
#include "check/text_report.h"
#include "driver/check_messages.h"
#include "driver/run.h"
#include "util/files.h"
#include "util/worker_pool.h"

namespace {

// The exit statuses, as sysexits.h names the last three.
constexpr int kClean = 0;
constexpr int kWarnings = 1;
constexpr int kNoResult = 2;
constexpr int kUsageError = 64;
constexpr int kCannotRead = 66;
constexpr int kOutOfMemory = 71;
constexpr int kCannotWrite = 74;

// Every allocation that fails, on any thread, comes here: told on standard error, at once.
[[noreturn]] void tellLackOfMemory() {
  writeAll(STDERR_FILENO, kCheckOutOfMemory.data(), kCheckOutOfMemory.size());
  _exit(kOutOfMemory);
}

struct commandLineStruct {
  bool json = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string_view script;
  std::string problem;  // why the command line is wrong; empty when it is right
};

// Sets the flag that `option` names; false for an option that it does not know.
bool setOption(std::string_view option, commandLineStruct& line) {
  if (option == "--json") {
    line.json = true;
  } else if (option == "--quiet") {
    line.quiet = true;
  } else if (option == "--help" || option == "-h") {
    line.help = true;
  } else if (option == "--version") {
    line.version = true;
  } else {
    return false;
  }
  return true;
}

commandLineStruct parseCommandLine(int argc, const char* const* argv) {
  commandLineStruct line;
  bool options = true;
  int scripts = 0;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      if (!setOption(arg, line) && line.problem.empty()) {
        line.problem = std::string(kCheckUnknownOption) + std::string(arg) + "\n";
      }
    } else {
      line.script = arg;
      ++scripts;
    }
  }
  if (line.problem.empty() && scripts != 1) line.problem = kCheckOneScript;
  return line;
}

void writeOut(int fd, std::string_view text) { writeAll(fd, text.data(), text.size()); }

bool stdoutWantsColour() {
  const char* noColour = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) == 1 && (noColour == nullptr || *noColour == '\0');
}

int exitStatusOf(const checkReportStruct& report) {
  if (report.outcome != outcomeKind::result) return kNoResult;
  return report.diagnostics.empty() ? kClean : kWarnings;
}

int checkFile(const commandLineStruct& line) {
  bool standardInput = line.script == "-";
  std::string path(line.script);
  int fd = standardInput ? STDIN_FILENO : openForReading(path.c_str());
  if (fd < 0) {
    writeOut(STDERR_FILENO, std::string(kCheckCannotRead) + path + "\n");
    return kCannotRead;
  }
  // As many workers as relmerge takes.
  workerPoolStruct pool(defaultWorkers());
  inputTextStruct input = readAll(fd, pool);
  if (!standardInput) closeFile(fd);
  if (input.readFailed) {
    writeOut(STDERR_FILENO, std::string(kCheckCannotRead) + path + "\n");
    return kCannotRead;
  }
  checkReportStruct report = checkScript(input.text(), pool);
  reportOutStruct out;
  out.take = [](std::string_view piece) {
    return writeAll(STDOUT_FILENO, piece.data(), piece.size());
  };
  if (line.json) {
    writeJsonReport(report, out);
  } else {
    textReportOptionsStruct options;
    options.scriptName = standardInput ? kStandardInputName : line.script;
    options.colour = stdoutWantsColour();
    options.quiet = line.quiet;
    writeTextReport(report, options, out);
  }
  if (!finishReport(out)) {
    writeOut(STDERR_FILENO, kCheckCannotWrite);
    return kCannotWrite;
  }
  return exitStatusOf(report);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(tellLackOfMemory);
  commandLineStruct line = parseCommandLine(argc, argv);
  if (line.help || line.version) {
    writeOut(STDOUT_FILENO, line.help ? std::string(kCheckHelpText)
                                      : std::string(kCheckName) + " " RELMERGE_VERSION "\n");
    return kClean;
  }
  if (!line.problem.empty()) {
    writeOut(STDERR_FILENO, line.problem + std::string(kCheckShortUsage));
    return kUsageError;
  }
  return checkFile(line);
}
