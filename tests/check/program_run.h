#ifndef RELMERGE_TESTS_CHECK_PROGRAM_RUN_H_
#define RELMERGE_TESTS_CHECK_PROGRAM_RUN_H_

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/scratch_dir.h"

// What a program wrote and how it ended.
struct programRunStruct {
  int exitStatus = -1;  // -1 when it did not end by itself
  std::string out;
  std::string err;
};

// Runs `binary` with `args` in the folder `work`, with `input` on its standard input; its
// standard output and error are kept in files in `spare`, a folder apart from `work`, unless
// `outPath` names another file for standard output.
inline programRunStruct runProgram(const std::string& binary, std::vector<std::string> args,
                                   const std::string& input, const std::filesystem::path& work,
                                   const std::filesystem::path& spare, std::string outPath = {}) {
  programRunStruct run;
  const std::string inPath = (spare / "stdin").string();
  // Another file for standard output, such as /dev/full, is not read back.
  const bool keepOut = outPath.empty();
  if (keepOut) outPath = (spare / "stdout").string();
  const std::string errPath = (spare / "stderr").string();
  if (!writeFile(inPath, input)) return run;
  args.insert(args.begin(), binary);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string workText = work.string();
  pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    int in = open(inPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(workText.c_str()) != 0 || dup2(in, 0) < 0 ||
        dup2(out, 1) < 0 || dup2(err, 2) < 0) {
      _exit(126);
    }
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  if (keepOut) run.out = readFile(outPath);
  run.err = readFile(errPath);
  return run;
}

#endif  // RELMERGE_TESTS_CHECK_PROGRAM_RUN_H_
