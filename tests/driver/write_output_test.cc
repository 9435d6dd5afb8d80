#include <gtest/gtest.h>

#include <string>

#include "driver/run.h"
#include "output/sink.h"

namespace {

// Everything after the echo of `script`.
std::string resultOf(std::string_view script, size_t workers = 1) {
  std::string out;
  sinkStruct sink = textSink(out);
  workerPoolStruct pool(workers);
  writeOutputOf(script, sink, pool);
  flushSink(sink);
  std::string echo = std::string(script) + "\n";
  EXPECT_EQ(echo, out.substr(0, echo.size())) << script;
  return out.substr(std::min(echo.size(), out.size()));
}

TEST(ResultWriter, Blocks) {
  struct Case {
    std::string_view script;
    std::string_view result;
  } cases[] = {
      {"R(a int, b char)\n1, x\n2, y\n\nS(b char, c int)\nx, 10\nx, 11\nz, 12\n\njoin(R, S)",
       "\nresult(a int, b char, c int)\n1, x, 10\n1, x, 11\n\n"},
      {"R(a int)\n1\n\nS(a int)\n2\n\njoin(R, S)", "\nresult(a int)\n\n"},
      // Values keep their bytes; items that were cut without a blank get one.
      {"R(a int)\n1,x,,y\n\nS(b int)\n 2,\n\njoin(R, S)",
       "\nresult(a int, b int)\n1, x, , y,  2, \n\n"},
      // The right row gives only its value at the compared position: nothing more is added.
      {"R(a int, b int)\n1, 2\n\nS(b int)\n2\n\njoin(R, S)", "\nresult(a int, b int)\n1, 2\n\n"},
      {"R(a int, b int)\n1, 2\n\nS(b int, c int, d int)\n2, 3, 4\n\njoin(R, S)",
       "\nresult(a int, b int, c int, d int)\n1, 2, 3, 4\n\n"},
      {"R(a int, b int)\n1, 2\n\nS(c int, b int, d int)\n3, 2, 4\n\njoin(R, S)",
       "\nresult(a int, b int, c int, d int)\n1, 2, 3, 4\n\n"},
      {"R(a int, b int)\n1, 2\n\nS(c int, d int, b int)\n3, 4, 2\n\njoin(R, S)",
       "\nresult(a int, b int, c int, d int)\n1, 2, 3, 4\n\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, resultOf(c.script)) << c.script;
}

TEST(ResultWriter, DropsOnlyTheLeadingShortRows) {
  struct Case {
    std::string_view rows;  // of R(a int), joined with S(b int) holding the row "s"
    std::string_view result;
  } cases[] = {
      {"1\n2\n3, 3\n4\n5, 5\n", "3, 3, s\n4, s\n5, 5, s\n"},
      {"1, 1\n2\n", "1, 1, s\n2, s\n"},
      {"1\n2\n", "1, s\n2, s\n"},
      {"1\n2\n3, 3, 3\n", "3, 3, 3, s\n"},
  };
  for (const auto& c : cases) {
    std::string script = "R(a int)\n" + std::string(c.rows) + "\nS(b int)\ns\n\njoin(R, S)";
    EXPECT_EQ("\nresult(a int, b int)\n" + std::string(c.result) + "\n", resultOf(script))
        << c.rows;
  }
}

TEST(ResultWriter, MessagesInsteadOfAResult) {
  struct Case {
    std::string_view script;
    std::string_view result;
  } cases[] = {
      {"", "Hib\xE1s a join szerkezet!\n"},
      {"R(a int)\n1\n\njoin(R)", "Hib\xE1s a join szerkezet!\n"},
      {"R(a int)\n1\n\njoin(X, R)",
       "A megadott rel\xE1"
       "ci\xF3t nem tal\xE1lom: X\n"},
      {"R(a int)\n1\n\njoin(R, Y)",
       "A megadott rel\xE1"
       "ci\xF3t nem tal\xE1lom: Y\n"},
      {"R(a int)\n1\n\njoin(R, R, Z, W)",
       "A megadott rel\xE1"
       "ci\xF3t nem tal\xE1lom: Z\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, resultOf(c.script)) << c.script;
}

// A relation `name` of `rows` rows "i, f(i)" under `heading`.
std::string relationText(std::string_view name, std::string_view heading, size_t rows,
                         size_t (*second)(size_t)) {
  std::string text = std::string(name) + "(" + std::string(heading) + ")\n";
  for (size_t i = 0; i < rows; ++i) {
    text += std::to_string(i) + ", " + std::to_string(second(i)) + "\n";
  }
  return text + "\n";
}

TEST(ResultWriter, AnyNumberOfWorkersWritesTheSameBytes) {
  std::string manyMatches =
      relationText("R", "a int, b int", 6000, [](size_t i) { return i * 7 % 900; }) +
      relationText("S", "b int, c int", 2000, [](size_t i) { return i % 1100; }) + "join(R, S)\n";
  std::string product = relationText("R", "a int, b int", 400, [](size_t i) { return i; }) +
                        relationText("S", "c int, d int", 300, [](size_t i) { return i; }) +
                        "join(R, S)\n";
  std::string fewMatches = relationText("R", "a int, b int", 9000, [](size_t i) { return i; }) +
                           relationText("S", "b int, c int", 50, [](size_t i) { return i * 997; }) +
                           "join(R, S)\n";
  std::string chain = relationText("R", "a int, b int", 3000, [](size_t i) { return i % 500; }) +
                      relationText("S", "b int, c int", 700, [](size_t i) { return i % 300; }) +
                      relationText("T", "c int, d int", 500, [](size_t i) { return i; }) +
                      "join(R, S, T)\n";
  // A longer first row makes the rows ragged: they are trimmed, in order.
  std::string ragged = "R(a int, b int)\n0, 1, 2\n" + manyMatches.substr(16);
  for (const std::string& script : {manyMatches, product, fewMatches, chain, ragged}) {
    std::string alone = resultOf(script);
    ASSERT_GT(alone.size(), 100u);
    for (size_t workers : {2, 3, 5, 16}) {
      EXPECT_EQ(alone, resultOf(script, workers))
          << workers << " workers on " << script.substr(0, 40);
    }
  }
}

}  // namespace
