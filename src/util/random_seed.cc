#include "util/random_seed.h"

#include <sys/random.h>
#include <time.h>

#include <cerrno>

uint64_t randomSeed() {
  uint64_t seed = 0;
  for (;;) {
    ssize_t got = getrandom(&seed, sizeof seed, 0);
    if (got == static_cast<ssize_t>(sizeof seed)) return seed;
    if (got >= 0 || errno != EINTR) break;
  }
  // Only a kernel without the call gets here. The clock and where the stack lies, which
  // address-space randomisation moves, still differ between runs.
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t mixed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                   reinterpret_cast<uintptr_t>(&seed);
  return mixed * 0x9E3779B97F4A7C15ULL;
}
