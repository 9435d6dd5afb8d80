#include "e2e/tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "e2e/scratch_dir.h"

namespace {

// Sets both limits of `resource` to `value` unless it is unlimited; false when it cannot.
bool limitTo(int resource, rlim_t value) {
  struct rlimit limit = {value, value};
  return value == RLIM_INFINITY || setrlimit(resource, &limit) == 0;
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void becomeTool(const std::string& work, char* const* argv,
                             const childSetupStruct& setup) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &action, nullptr);
  sigaction(SIGXFSZ, &action, nullptr);
  if (!limitTo(RLIMIT_FSIZE, setup.fileSizeLimit) || !limitTo(RLIMIT_CPU, setup.cpuSecondsLimit)) {
    _exit(126);
  }
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  int in = setup.stdinFd >= 0 ? setup.stdinFd : null;
  int console = setup.consoleFd >= 0 ? setup.consoleFd : null;
  int out = setup.stdoutFd >= 0 ? setup.stdoutFd : console;
  if (null < 0 || chdir(work.c_str()) != 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
      dup2(console, 2) < 0) {
    _exit(126);
  }
  // Last, as nothing above may fail for want of memory.
  if (!limitTo(RLIMIT_AS, setup.addressSpaceLimit)) _exit(126);
  execv(setup.binary, argv);
  _exit(127);
}

}  // namespace

pid_t startTool(const std::filesystem::path& work, std::vector<std::string> args,
                const childSetupStruct& setup) {
  args.insert(args.begin(), setup.name);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string workText = work.string();
  pid_t pid = fork();
  if (pid == 0) becomeTool(workText, argv.data(), setup);
  return pid;
}

int waitFor(pid_t pid) {
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

int waitAtMost(pid_t pid, int seconds) {
  if (pid < 0) return -1;
  for (int waited = 0; waited < seconds * 100; ++waited) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return -1;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitFor(pid);
  return -2;
}

bool exitedWithZero(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

programRunStruct runProgram(const char* binary, std::vector<std::string> args,
                            const std::string& input, const std::filesystem::path& work,
                            const std::filesystem::path& spare, std::string outPath) {
  programRunStruct run;
  const std::string inPath = (spare / "stdin").string();
  const bool keepOut = outPath.empty();
  if (keepOut) outPath = (spare / "stdout").string();
  const std::string errPath = (spare / "stderr").string();
  if (!writeFile(inPath, input)) return run;
  childSetupStruct setup;
  setup.binary = binary;
  setup.name = binary;
  setup.stdinFd = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
  setup.stdoutFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  setup.consoleFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int status = -1;
  if (setup.stdinFd >= 0 && setup.stdoutFd >= 0 && setup.consoleFd >= 0) {
    status = waitFor(startTool(work, std::move(args), setup));
  }
  for (int fd : {setup.stdinFd, setup.stdoutFd, setup.consoleFd}) {
    if (fd >= 0) close(fd);
  }
  if (status != -1 && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  if (keepOut) run.out = readFile(outPath);
  run.err = readFile(errPath);
  return run;
}
