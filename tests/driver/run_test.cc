#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A join past the numbers that rows and positions can count would wrap them around and give
// a wrong result: the run stops after the echo instead. The limits are lowered here to what a
// short script reaches.
TEST(JoinLimits, JoinPastThemStopsAfterTheEcho) {
  const std::string pair = "R(a t, b t)\n1, x\n2, y\n3, z\n\nS(b t, c t)\nx, 1\ny, 2\n\n";
  struct Case {
    std::string what;
    std::string script;
    joinLimitsStruct limits;
    bool fits;
  } cases[] = {
      {"rows at the limit", pair + "join(R, S)\n", {.mostRows = 3, .mostPositions = 3}, true},
      {"rows of the first relation", pair + "join(R, S)\n", {.mostRows = 2}, false},
      {"rows of a later relation", pair + "join(S, R)\n", {.mostRows = 2}, false},
      {"rows of a relation outside the join", pair + "join(S, S)\n", {.mostRows = 2}, true},
      {"attributes of a relation",
       "R(a t, b t, c t)\n1\n\njoin(R, R)\n",
       {.mostPositions = 2},
       false},
      {"attributes of the result",
       pair + "T(d t)\n1\n\njoin(R, S, T)\n",
       {.mostPositions = 3},
       false},
      {"relations of the script", pair + "T(d t)\n1\n\njoin(R, S)\n", {.mostPositions = 2}, false},
      {"names of the join list", pair + "join(S, S, S)\n", {.mostPositions = 2}, false},
  };
  for (const Case& c : cases) {
    std::string output;
    sinkStruct sink = textSink(output);
    EXPECT_EQ(c.fits, writeOutputOf(c.script, sink, 1, c.limits)) << c.what;
    flushSink(sink);
    std::string echo = c.script + "\n";
    if (c.fits) {
      EXPECT_TRUE(output.starts_with(echo + "\nresult(")) << c.what << ": " << output;
    } else {
      EXPECT_EQ(echo, output) << c.what;
    }
  }
}

}  // namespace
