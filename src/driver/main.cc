#include <csignal>
#include <new>

#include "driver/fatal_report.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  // A reader that has gone away, or a file past the size the process may write, must show up
  // as a failed write, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::set_new_handler(reportLackOfMemory);
  installLostInputHandler();
  return run(argc, argv);
}
