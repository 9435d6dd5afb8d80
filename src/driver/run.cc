#include "driver/run.h"

#include <algorithm>
#include <vector>

#include "driver/fatal_report.h"
#include "driver/log_file.h"
#include "driver/messages.h"
#include "join/join.h"
#include "output/echo.h"
#include "output/writer.h"
#include "relations/reader.h"
#include "util/files.h"
#include "util/random_seed.h"

namespace {

// A message is written in one request and without an allocation, which could fail and leave
// the run with two messages.
void logMessage(logFileStruct& log, std::string_view text, std::string_view path) {
  const std::string_view parts[] = {text, path, "\n"};
  writeLog(log, parts);
}

// The longest message that a run on these paths may write: the room "error.log" holds for it.
size_t longestMessage(std::string_view input, std::string_view output) {
  size_t longest = 0;
  for (std::string_view text : {kMissingInputText, kUnreadableInputText, kLackOfMemoryText}) {
    longest = std::max(longest, text.size() + input.size() + 1);
  }
  for (std::string_view text : {kOutputNotWritableText, kSameFileText}) {
    longest = std::max(longest, text.size() + output.size() + 1);
  }
  return longest;
}

// What became of a run that opened both files.
enum class outcomeKind { kWritten, kUnreadableInput, kTooLarge, kOutputNotWritable };

// Reads the input and writes all of the output; the output receives nothing when the input
// cannot be read whole.
outcomeKind produceOutput(int inputFd, int outputFd, size_t workers) {
  workerPoolStruct pool(workers);
  inputTextStruct input = mapOrReadAll(inputFd, pool);
  if (input.readFailed) {
    closeFile(outputFd);
    return outcomeKind::kUnreadableInput;
  }
  if (input.mapping) watchInput(input.text());
  sinkStruct out = fileSink(outputFd);
  bool fits = writeOutputOf(input.text(), out, pool);
  bool flushed = flushSink(out);
  withdrawLostInputReport();
  // A write from the lost bytes of a mapped input fails without a signal: the fault is the
  // input's, not the output's.
  if (!flushed && input.mapping && fileShorterThan(inputFd, input.size)) {
    emptyFile(outputFd);
    closeFile(outputFd);
    return outcomeKind::kUnreadableInput;
  }
  if (!closeFile(outputFd) || !flushed) return outcomeKind::kOutputNotWritable;
  return fits ? outcomeKind::kWritten : outcomeKind::kTooLarge;
}

void logOutcome(logFileStruct& log, outcomeKind outcome, const char* input, const char* output) {
  switch (outcome) {
    case outcomeKind::kWritten:
      return;
    case outcomeKind::kUnreadableInput:
      return logMessage(log, kUnreadableInputText, input);
    case outcomeKind::kTooLarge:
      return logMessage(log, kLackOfMemoryText, input);
    case outcomeKind::kOutputNotWritable:
      return logMessage(log, kOutputNotWritableText, output);
  }
}

// The run once the command line is right: `log` is open but not emptied yet.
void runOnFiles(const char* input, const char* output, size_t workers, logFileStruct& log) {
  int inputFd = openForReading(input);
  if (inputFd < 0) {
    startLog(log, longestMessage(input, output));
    return logMessage(log, kMissingInputText, input);
  }
  // "error.log" may be the input under its own name or through a link: emptying it, or a
  // message written to it, would destroy the input.
  if (isSameOpenFile(inputFd, log.fd)) {
    leaveLog(log);
  } else {
    startLog(log, longestMessage(input, output));
  }
  // Opening the output empties it, so the input must not be the same file.
  bool sameFile = isSameFile(inputFd, output);
  int outputFd = sameFile ? -1 : openForWriting(output);
  if (outputFd < 0) {
    closeFile(inputFd);
    return logMessage(log, sameFile ? kSameFileText : kOutputNotWritableText, output);
  }
  // Named as the output, "error.log" holds the output, whose start a message would overwrite.
  if (isSameOpenFile(outputFd, log.fd)) leaveLog(log);
  prepareLackOfMemoryReport(log.fd, input);
  prepareLostInputReport(log.fd, outputFd, input);
  outcomeKind outcome = produceOutput(inputFd, outputFd, workers);
  withdrawLackOfMemoryReport();
  closeFile(inputFd);
  logOutcome(log, outcome, input, output);
}

// Writes what follows the echo: the result, or the text that says why there is none. False,
// with nothing written, when the join is past `limits`.
bool writeAfterEcho(sinkStruct& out, const scriptStruct& parsed,
                    const joinListVerdictStruct& verdict, const joinStruct& join,
                    const joinLimitsStruct& limits, workerPoolStruct& pool) {
  switch (verdict.kind) {
    case joinListKind::kTooFewNames:
      writeText(out, kJoinStructureText);
      return true;
    case joinListKind::kPastLimits:
      return false;
    case joinListKind::kUnknownName:
      writeText(out, kUnknownRelationText);
      writeText(out, parsed.joinVec[verdict.unknownName]);
      writeByte(out, '\n');
      return true;
    case joinListKind::kTables:
      break;
  }
  // The heading may hold more attributes than any one relation.
  if (join.plan.fields.size() > limits.mostPositions) return false;
  writeResult(out, join, pool);
  return true;
}

}  // namespace

size_t defaultWorkers() {
  constexpr size_t kMostWorkers = 8;
  return std::min(usableProcessors(), kMostWorkers);
}

bool writeOutputOf(std::string_view script, sinkStruct& out, workerPoolStruct& pool,
                   const joinLimitsStruct& limits) {
  // The echo needs nothing but the script: it is written while the script is read and the join
  // prepared, and what follows it waits for it.
  besideJobStruct echo(pool, [&out, script] { writeEcho(out, script); });
  scriptStruct parsed = readScriptInPieces(script, pool);
  uint64_t seed = randomSeed();
  joinListVerdictStruct verdict = joinListVerdict(parsed, seed, limits);
  joinStruct join;
  if (verdict.kind == joinListKind::kTables) {
    join = prepareJoin(parsed.mainVec, verdict.tables, seed, pool);
  }
  waitFor(echo);
  return writeAfterEcho(out, parsed, verdict, join, limits, pool);
}

int run(int argc, const char* const* argv, size_t workers) {
  logFileStruct log = openLog();
  if (argc != 3) {
    startLog(log, kUsageText.size());
    writeLog(log, {&kUsageText, 1});
  } else {
    runOnFiles(argv[1], argv[2], workers, log);
  }
  closeLog(log);
  return 0;
}
