#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "join/join.h"
#include "join/oracle.h"
#include "output/sink.h"
#include "output/writer.h"
#include "relations/lookup.h"
#include "relations/reader.h"
#include "sanitizers.h"
#include "util/random_seed.h"

namespace {

// The engine's result block, written through `sink`, which must write to a string, by
// `workers` workers with keys hashed under `hashSeed`. A sink holds a large buffer, so
// thousands of scripts share one rather than each making its own.
std::string engineResultBlock(const scriptStruct& script, sinkStruct& sink, size_t workers,
                              uint64_t hashSeed) {
  std::vector<int32_t> tables = findTables(script.joinVec, script.mainVec, hashSeed);
  workerPoolStruct pool(workers);
  joinStruct join = prepareJoin(script.mainVec, tables, hashSeed, pool);
  std::string& block = *static_cast<std::string*>(sink.drain.place);  // a textSink's string
  block.clear();
  writeResult(sink, join, pool);
  flushSink(sink);
  return block;
}

// A script the join can run: at least two names, each carried by some relation.
bool isRunnable(const scriptStruct& script) {
  if (script.joinVec.size() < 2) return false;
  for (std::string_view name : script.joinVec) {
    if (findTable(name, script.mainVec) < 0) return false;
  }
  return true;
}

struct handCaseStruct {
  const char* what;
  std::string_view script;
  std::string_view expected;
};

// Worked examples of the join and of the result block, and the corner cases, with their result
// blocks written out by hand: they check the oracle as much as the engine.
const handCaseStruct kHandCases[] = {
    {"typical script",
     "R(a int, b char)\n1, x\n2, y\n\nS(b char, c int)\nx, 10\nx, 11\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n1, x, 10\n1, x, 11\n\n"},
    {"first two relations, natural join",
     "R(a int, b str)\n1, x\n2, y\n1, x\n\nS(c int, b str)\n10, x\n30, z\n20, x\n\n"
     "join(R, S)\n",
     "\nresult(a int, b str, c int)\n1, x, 10\n1, x, 20\n1, x, 10\n1, x, 20\n\n"},
    {"first two relations, same name with another type",
     "R(a int, b str)\n1, x\n2, y\n1, x\n\nS(c int, b int)\n10, x\n30, z\n20, x\n\n"
     "join(R, S)\n",
     "\nresult(a int, b str, c int, b int)\n"
     "1, x, 10, x\n1, x, 30, z\n1, x, 20, x\n"
     "2, y, 10, x\n2, y, 30, z\n2, y, 20, x\n"
     "1, x, 10, x\n1, x, 30, z\n1, x, 20, x\n\n"},
    {"further relation, natural join",
     "R(a int, b str)\n1, x\n2, y\n1, x\n\nS(c int, b str)\n10, x\n30, z\n20, x\n\n"
     "T(c int, d str)\n10, p\n20, q\n10, r\n\njoin(R, S, T)\n",
     "\nresult(a int, b str, c int, d str)\n"
     "1, x, 10, p\n1, x, 10, r\n1, x, 20, q\n1, x, 10, p\n1, x, 10, r\n1, x, 20, q\n\n"},
    {"further relation, Cartesian product",
     "R(a int, b str)\n1, x\n2, y\n1, x\n\nS(c int, b str)\n10, x\n30, z\n20, x\n\n"
     "T(e str)\nu\nv\n\njoin(R, S, T)\n",
     "\nresult(a int, b str, c int, e str)\n"
     "1, x, 10, u\n1, x, 10, v\n1, x, 20, u\n1, x, 20, v\n"
     "1, x, 10, u\n1, x, 10, v\n1, x, 20, u\n1, x, 20, v\n\n"},
    {"output example",
     "R(a int, b char)\n1, x\n2, y\n\nS(b char, c int)\nx, 10\nx, 11\nz, 12\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n1, x, 10\n1, x, 11\n\n"},
    {"leading short row dropped",
     "R(a int, b char)\n1, x\n2, x, extra\n\nS(b char, c int)\nx, 10\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n2, x, extra, 10\n\n"},
    {"short row after the longest kept",
     "R(a int, b char)\n2, x, extra\n1, x\n\nS(b char, c int)\nx, 10\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n2, x, extra, 10\n1, x, 10\n\n"},
    {"missing compared value matches nothing",
     "R(a int, b char)\n1\n2, x\n\nS(c int, b char)\n10\n20, x\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n2, x, 20\n\n"},
    {"missing left value does not match an empty right value",
     "R(a int, b char)\n2, \n1\n\nS(b char, c int)\n, 10\n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n2, , 10\n\n"},
    {"missing right value does not match an empty left value",
     "R(a int, b char)\n1, \n\nS(c int, b char)\n10\n20, \n\njoin(R, S)\n",
     "\nresult(a int, b char, c int)\n1, , 20\n\n"},
    {"left value read at the heading position, whatever stands there",
     "R(a int, b int)\n1\n\nS(c int)\n5\n\nT(b int)\n6\n5\n\njoin(R, S, T)\n",
     "\nresult(a int, b int, c int)\n1, 5\n\n"},
    {"right relation declares an attribute twice",
     "R(a int)\n1\n2\n\nS(a int, b char, b char)\n1, x, y\n2, z, w\n\njoin(R, S)\n",
     "\nresult(a int, b char)\n1, x, y\n2, z, w\n\n"},
    {"empty further relation", "R(a int)\n1\n\nS(b int)\n\njoin(R, S)\n",
     "\nresult(a int, b int)\n\n"},
    {"relation named twice in the catalogue and in the join",
     "R(a int)\n1\n1\n2\n\nR(a int)\n9\n\njoin(R, R)\n", "\nresult(a int)\n1\n1\n1\n1\n2\n\n"},
};

TEST(JoinOracle, WorkedExamples) {
  for (const handCaseStruct& c : kHandCases) {
    scriptStruct script = readScript(c.script);
    ASSERT_TRUE(isRunnable(script)) << c.what;
    EXPECT_EQ(c.expected, oracleResultBlock(script.mainVec, script.joinVec)) << c.what;
  }
}

TEST(JoinEngine, WorkedExamples) {
  std::string block;
  sinkStruct sink = textSink(block);
  for (const handCaseStruct& c : kHandCases) {
    scriptStruct script = readScript(c.script);
    ASSERT_TRUE(isRunnable(script)) << c.what;
    // The seed of the hash places keys, never orders rows.
    for (uint64_t hashSeed : {uint64_t{0}, uint64_t{1}, randomSeed()}) {
      EXPECT_EQ(c.expected, engineResultBlock(script, sink, 1, hashSeed)) << c.what;
    }
  }
}

// How big a random script gets. Small relations over three values make joins match often;
// longer ones over more values give keys with long chains of rows and many keys.
struct scriptShapeStruct {
  size_t maxRelations;
  size_t maxRows;       // per relation, now and then; most relations hold at most four
  size_t valueCount;    // distinct plain values
  size_t maxJoinNames;  // at least two
};

constexpr scriptShapeStruct kSmallShape = {5, 15, 3, 5};
constexpr scriptShapeStruct kLongShape = {3, 60, 12, 3};

size_t pick(std::mt19937& rng, size_t n) { return rng() % n; }

bool chance(std::mt19937& rng, size_t inN, size_t n) { return pick(rng, n) < inN; }

std::string scriptLine(std::mt19937& rng, std::string_view text) {
  return std::string(text) + (chance(rng, 1, 8) ? "\r\n" : "\n");
}

std::string separator(std::mt19937& rng) { return chance(rng, 1, 8) ? "," : ", "; }

std::string randomAttribute(std::mt19937& rng) {
  static const char* const kNames[] = {"a", "b", "c", "d"};
  static const char* const kTypes[] = {"int", "int", "int", "char", "int "};
  std::string name = kNames[pick(rng, 4)];
  if (chance(rng, 1, 12)) return name;  // no blank: the item is both name and type
  return name + " " + kTypes[pick(rng, 5)];
}

// Besides the plain values: long forms of them (past the bytes a search or a hash takes in
// one go), the empty value, blanks that count, texts that are other values glued together
// (so that keys of two values can run together), odd bytes, and line-kind markers that mean
// nothing inside a block.
std::string randomValue(std::mt19937& rng, const scriptShapeStruct& shape) {
  static const char* const kOdd[] = {"",    "",    "1 ",   " 1",   "01",  "10",
                                     "x y", "1\t", "\xE1", "join", "(2)", "01234567"};
  if (chance(rng, 1, 10)) return kOdd[pick(rng, std::size(kOdd))];
  std::string plain = std::to_string(pick(rng, shape.valueCount));
  if (chance(rng, 1, 10)) return "a value long enough to span words " + plain;
  return plain;
}

std::string randomDataLine(std::mt19937& rng, const scriptShapeStruct& shape,
                           size_t attributeCount) {
  size_t valueCount = attributeCount;
  if (chance(rng, 1, 4)) {
    size_t shifted = attributeCount + pick(rng, 5);
    valueCount = shifted > 2 ? shifted - 2 : 1;
  }
  std::string text;
  for (size_t i = 0; i < valueCount; ++i) {
    if (i > 0) text += separator(rng);
    text += randomValue(rng, shape);
  }
  // An empty line would end the block instead of adding a row.
  return text.empty() ? "0" : text;
}

std::string randomRelation(std::mt19937& rng, const scriptShapeStruct& shape,
                           const std::string& name) {
  std::vector<std::string> attributes;
  size_t attributeCount = 1 + pick(rng, 4);
  for (size_t i = 0; i < attributeCount; ++i) {
    bool twice = !attributes.empty() && chance(rng, 1, 8);
    attributes.push_back(twice ? attributes[pick(rng, attributes.size())] : randomAttribute(rng));
  }
  std::string header = name + "(";
  for (size_t i = 0; i < attributes.size(); ++i) {
    if (i > 0) header += separator(rng);
    header += attributes[i];
  }
  std::string text = scriptLine(rng, header + ")");
  size_t rowCount = chance(rng, 1, 20) ? pick(rng, shape.maxRows + 1) : pick(rng, 5);
  for (size_t i = 0; i < rowCount; ++i) {
    text += scriptLine(rng, randomDataLine(rng, shape, attributeCount));
  }
  return text + scriptLine(rng, "");
}

std::string randomJoinLine(std::mt19937& rng, const scriptShapeStruct& shape,
                           const std::vector<std::string>& names) {
  size_t count = 2 + pick(rng, shape.maxJoinNames - 1);
  std::string text = "join(";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += separator(rng);
    text += names[pick(rng, names.size())];
  }
  return text + ")";
}

std::string randomScript(const scriptShapeStruct& shape, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> names;
  std::string relations;
  size_t relationCount = 1 + pick(rng, shape.maxRelations);
  for (size_t i = 0; i < relationCount; ++i) {
    // A reused name gives a second relation that the lookups never see.
    bool reuse = !names.empty() && chance(rng, 1, 6);
    names.push_back(reuse ? names[pick(rng, names.size())] : std::string(1, "RSTUV"[i]));
    relations += randomRelation(rng, shape, names.back());
    if (chance(rng, 1, 10)) relations += scriptLine(rng, "-- between relations");
  }
  std::string joinLine = randomJoinLine(rng, shape, names);
  if (chance(rng, 1, 10)) return scriptLine(rng, joinLine) + relations;
  // At the very end of the input the join line may go without a line end.
  return relations + (chance(rng, 1, 4) ? joinLine : scriptLine(rng, joinLine));
}

// A seed of the hash for each script: a different one each time, and the same when a failing
// script is run again alone.
uint64_t hashSeedOf(uint32_t scriptSeed) { return scriptSeed * 0x9E3779B97F4A7C15ULL; }

struct differentialTallyStruct {
  size_t runnable = 0;
  size_t withRows = 0;
  size_t failures = 0;
};

// Runs the scripts of `seeds` seeds from `firstSeed` on, stopping after a few failures; each
// failure names the seed and shows the script, so that it can be run again alone.
differentialTallyStruct compareOnRandomScripts(const scriptShapeStruct& shape, uint32_t firstSeed,
                                               uint32_t seeds) {
  differentialTallyStruct tally;
  std::string block;
  sinkStruct sink = textSink(block);
  for (uint32_t seed = firstSeed; seed - firstSeed < seeds && tally.failures < 5; ++seed) {
    std::string text = randomScript(shape, seed);
    scriptStruct script = readScript(text);
    if (!isRunnable(script)) continue;
    ++tally.runnable;
    std::string expected = oracleResultBlock(script.mainVec, script.joinVec);
    // One to three threads in turn: the bytes must not depend on how many.
    size_t workers = 1 + seed % 3;
    std::string actual = engineResultBlock(script, sink, workers, hashSeedOf(seed));
    if (actual != expected) {
      ++tally.failures;
      ADD_FAILURE() << "seed " << seed << ", " << workers << " workers\n--- script:\n"
                    << text << "\n--- oracle:" << expected << "--- engine:" << actual;
    }
    // The block holds three line ends besides those of its rows.
    if (std::count(expected.begin(), expected.end(), '\n') > 3) ++tally.withRows;
  }
  return tally;
}

TEST(JoinEngine, MatchesOracleOnSmallRandomScripts) {
  // The fuzz target feeds the sanitized code random scripts for a minute besides.
  constexpr uint32_t kSeeds = kSanitized ? 10000 : 40000;
  differentialTallyStruct tally = compareOnRandomScripts(kSmallShape, 20240601, kSeeds);
  if (tally.failures > 0) return;
  // Guards the maker itself: nearly every script must run, and many joins must match.
  EXPECT_GT(tally.runnable, kSeeds * 99 / 100);
  EXPECT_GT(tally.withRows, tally.runnable / 3);
}

TEST(JoinEngine, MatchesOracleOnLongerRandomRelations) {
  constexpr uint32_t kSeeds = 6000;
  differentialTallyStruct tally = compareOnRandomScripts(kLongShape, 777000, kSeeds);
  if (tally.failures > 0) return;
  EXPECT_GT(tally.runnable, kSeeds * 99 / 100);
  EXPECT_GT(tally.withRows, tally.runnable / 4);
}

// A long join list over a few small relations whose rows vary in length: a key then comes from
// a level far above its step, and where its value stands hangs on the lengths of the rows of
// every level before it.
std::string randomLongListScript(uint32_t seed) {
  std::mt19937 rng(seed);
  static const char* const kAttributes[] = {"a t", "b t", "c t", "d t", "e t"};
  const std::string names = "FRSTU";
  std::string script;
  for (char name : names) {
    size_t attributeCount = 1 + pick(rng, 3);
    script += std::string(1, name) + "(";
    for (size_t i = 0; i < attributeCount; ++i) {
      script += std::string(i > 0 ? ", " : "") + kAttributes[pick(rng, std::size(kAttributes))];
    }
    script += ")\n";
    size_t rowCount = 1 + pick(rng, name == 'F' ? 6 : 3);
    for (size_t r = 0; r < rowCount; ++r) {
      size_t valueCount = attributeCount;
      if (chance(rng, 1, 3)) valueCount = std::max<size_t>(valueCount + pick(rng, 4), 2) - 1;
      for (size_t v = 0; v < valueCount; ++v) {
        script += (v > 0 ? ", " : "") + std::to_string(pick(rng, 2));
      }
      script += "\n";
    }
    script += "\n";
  }
  script += "join(F";
  for (size_t i = 8 + pick(rng, 40); i > 0; --i)
    script += std::string(", ") + names[1 + pick(rng, 4)];
  return script + ")\n";
}

TEST(JoinEngine, MatchesOracleOnLongJoinLists) {
  constexpr uint32_t kSeeds = 800;
  constexpr size_t kMostOracleRows = 300;
  std::string block;
  sinkStruct sink = textSink(block);
  size_t compared = 0;
  size_t withRows = 0;
  size_t failures = 0;
  for (uint32_t seed = 5150000; seed - 5150000 < kSeeds && failures < 5; ++seed) {
    std::string text = randomLongListScript(seed);
    scriptStruct script = readScript(text);
    std::string expected;
    if (!oracleResultBlockWithin(script.mainVec, script.joinVec, kMostOracleRows, expected)) {
      continue;
    }
    ++compared;
    withRows += std::count(expected.begin(), expected.end(), '\n') > 3 ? 1 : 0;
    size_t workers = 1 + seed % 3;
    std::string actual = engineResultBlock(script, sink, workers, hashSeedOf(seed));
    if (actual != expected) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << ", " << workers << " workers\n--- script:\n"
                    << text << "\n--- oracle:" << expected << "--- engine:" << actual;
    }
  }
  // Guards the maker: most joins stay small enough for the oracle, and many keep rows.
  EXPECT_GT(compared, kSeeds / 2);
  EXPECT_GT(withRows, compared / 8);
}

}  // namespace
