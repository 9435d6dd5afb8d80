#ifndef RELMERGE_TESTS_E2E_TOOL_PROCESS_H_
#define RELMERGE_TESTS_E2E_TOOL_PROCESS_H_

#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// How the built tool is started besides its arguments.
struct childSetupStruct {
  const char* binary = RELMERGE_BINARY;  // the program: relmerge, or relmerge-check
  const char* name = "relmerge";         // the name it is started under
  int stdinFd = -1;                      // -1: /dev/null
  int stdoutFd = -1;                     // -1: as standard error
  int consoleFd = -1;  // standard error, and standard output unless stdoutFd is set; -1: /dev/null
  // The largest file the tool may write; past it a write fails as on a full disk.
  rlim_t fileSizeLimit = RLIM_INFINITY;
  // A guard against a run that never ends: past it the tool is killed.
  rlim_t cpuSecondsLimit = RLIM_INFINITY;
  // The address space the tool may take; past it an allocation fails.
  rlim_t addressSpaceLimit = RLIM_INFINITY;
};

// Starts the built tool in `work` with `args`; -1 when it cannot be started. SIGPIPE and
// SIGXFSZ start at their defaults, which end the process, so that the tool has to guard
// against them itself.
pid_t startTool(const std::filesystem::path& work, std::vector<std::string> args,
                const childSetupStruct& setup);

// The wait status of `pid`, or -1 when it never started.
int waitFor(pid_t pid);

// waitFor for a run that may never end by itself, such as one that waits for input that never
// comes: past `seconds` of wall time the tool is killed, and the answer is -2.
int waitAtMost(pid_t pid, int seconds);

bool exitedWithZero(int status);

// What a program wrote and how it ended.
struct programRunStruct {
  int exitStatus = -1;  // -1 when it did not end by itself
  std::string out;
  std::string err;
};

// Runs `binary` with `args` in the folder `work`, with `input` on its standard input, and
// waits for it; its standard output and error are kept in files in `spare`, a folder apart
// from `work`, unless `outPath` names another file for standard output, which is not read
// back.
programRunStruct runProgram(const char* binary, std::vector<std::string> args,
                            const std::string& input, const std::filesystem::path& work,
                            const std::filesystem::path& spare, std::string outPath = {});

#endif  // RELMERGE_TESTS_E2E_TOOL_PROCESS_H_
