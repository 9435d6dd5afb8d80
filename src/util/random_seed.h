#ifndef RELMERGE_UTIL_RANDOM_SEED_H_
#define RELMERGE_UTIL_RANDOM_SEED_H_

#include <cstdint>

// A seed from the system's random source, different at every call: hashes seeded with it
// cannot be foreseen by whoever writes the input.
uint64_t randomSeed();

#endif  // RELMERGE_UTIL_RANDOM_SEED_H_
