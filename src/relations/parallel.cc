#include "relations/parallel.h"

#include <sched.h>

size_t usableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  return static_cast<size_t>(std::max(CPU_COUNT(&set), 1));
}
