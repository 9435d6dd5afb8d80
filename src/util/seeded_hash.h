#ifndef RELMERGE_UTIL_SEEDED_HASH_H_
#define RELMERGE_UTIL_SEEDED_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

// Header only: the static executable links no library for the hash.
#define XXH_INLINE_ALL
#include <xxhash.h>

// The hash of `bytes` under `seed`. Seeded from the system's random source at every run
// (util/random_seed.h), a text's hash cannot be foreseen, so no input can be made whose names
// or keys all share one and turn every lookup into a walk past all the others.
[[gnu::always_inline]] inline uint64_t hashBytes(std::string_view bytes, uint64_t seed) {
  return XXH3_64bits_withSeed(bytes.data(), bytes.length(), seed);
}

// hashBytes as the hash of a standard container keyed by texts.
struct seededTextHash {
  uint64_t seed = 0;
  size_t operator()(std::string_view text) const { return hashBytes(text, seed); }
};

#endif  // RELMERGE_UTIL_SEEDED_HASH_H_
