#ifndef RELMERGE_BENCH_WORKLOADS_H_
#define RELMERGE_BENCH_WORKLOADS_H_

#include <cstddef>
#include <random>
#include <string>

// Scripts built in memory, seeded, so that a benchmark measures the engine and not the disk.

// R(k int, a text) and S(k int, b text), `rows` rows each, keys drawn from `rows` values:
// about `rows` result rows.
inline std::string equiJoinScript(size_t rows, unsigned seed = 1) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<size_t> key(0, rows - 1);
  std::string script;
  script.reserve(rows * 40);
  const char* names[] = {"R(k int, a text)\n", "S(k int, b text)\n"};
  for (const char* header : names) {
    script += header;
    for (size_t i = 0; i < rows; ++i) {
      script.append(std::to_string(key(random))).append(", v").append(std::to_string(i));
      script += '\n';
    }
    script += '\n';
  }
  script += "join(R, S)\n";
  return script;
}

// R(a int) and S(b int) of `rows` rows each: a Cartesian product of rows * rows.
inline std::string productScript(size_t rows) {
  std::string script = "R(a int)\n";
  for (size_t i = 0; i < rows; ++i) script.append(std::to_string(i)).append("\n");
  script += "\nS(b int)\n";
  for (size_t i = 0; i < rows; ++i) script.append(std::to_string(i)).append("\n");
  script += "\njoin(R, S)\n";
  return script;
}

#endif  // RELMERGE_BENCH_WORKLOADS_H_
