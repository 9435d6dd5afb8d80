#include "driver/run.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "driver/log_file.h"
#include "driver/memory_report.h"
#include "driver/messages.h"
#include "join/join.h"
#include "output/echo.h"
#include "output/writer.h"
#include "relations/reader.h"
#include "util/files.h"
#include "util/parallel.h"
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

// The writing of the result, which one worker at a time does for all, keeps more workers than
// this from gaining much, while each costs two buffers and a thread.
constexpr size_t kMostWorkers = 8;

// Reads the input and writes all of the output; the output receives nothing when the input
// cannot be read whole.
outcomeKind produceOutput(int inputFd, int outputFd) {
  size_t workers = std::min(usableProcessors(), kMostWorkers);
  inputTextStruct input = readAll(inputFd, workers);
  if (input.readFailed) {
    closeFile(outputFd);
    return outcomeKind::kUnreadableInput;
  }
  sinkStruct out = fileSink(outputFd);
  bool fits = writeOutputOf(input.text(), out, workers);
  bool flushed = flushSink(out);
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
void runOnFiles(const char* input, const char* output, logFileStruct& log) {
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
  outcomeKind outcome = produceOutput(inputFd, outputFd);
  withdrawLackOfMemoryReport();
  closeFile(inputFd);
  logOutcome(log, outcome, input, output);
}

// What the task after the reading makes ready for the writing of the result.
struct preparedStruct {
  scriptStruct parsed;
  joinListVerdictStruct verdict;
  joinStruct join;
};

// Prepares the join that the verdict on the join list asks for, if any.
void prepareResult(preparedStruct& prepared, const joinLimitsStruct& limits, size_t workers) {
  uint64_t seed = randomSeed();
  prepared.verdict = joinListVerdict(prepared.parsed, seed, limits);
  if (prepared.verdict.kind != joinListKind::kTables) return;
  prepared.join = prepareJoin(prepared.parsed.mainVec, prepared.verdict.tables, workers, seed);
}

// Writes what follows the echo: the result, or the text that says why there is none. False,
// with nothing written, when the join is past `limits`.
bool writeAfterEcho(sinkStruct& out, const preparedStruct& prepared, const joinLimitsStruct& limits,
                    size_t workers) {
  const joinListVerdictStruct& verdict = prepared.verdict;
  switch (verdict.kind) {
    case joinListKind::kTooFewNames:
      writeText(out, kJoinStructureText);
      return true;
    case joinListKind::kPastLimits:
      return false;
    case joinListKind::kUnknownName:
      writeText(out, kUnknownRelationText);
      writeText(out, prepared.parsed.joinVec[verdict.unknownName]);
      writeByte(out, '\n');
      return true;
    case joinListKind::kTables:
      break;
  }
  // The heading may hold more attributes than any one relation.
  if (prepared.join.plan.fields.size() > limits.mostPositions) return false;
  writeResult(out, prepared.join, workers);
  return true;
}

}  // namespace

bool writeOutputOf(std::string_view script, sinkStruct& out, size_t workers,
                   const joinLimitsStruct& limits) {
  // The pieces of the script are read at once, and the echo, which needs nothing but the
  // script, is written beside them and beside the preparing of the join, which mostly keeps
  // one worker busy; all that follows the echo waits for it. Tasks are handed out in order,
  // so the join, last, waits only for pieces that are read or being read.
  std::vector<size_t> cuts = scriptCuts(script, workers);
  size_t pieces = cuts.size() - 1;
  std::vector<scriptStruct> read(pieces);
  std::atomic<size_t> piecesLeft{pieces};
  preparedStruct prepared;
  forEachTaskInParallel(workers, pieces + 2, [&](size_t /*worker*/, size_t task) {
    if (task < pieces) {
      read[task] = readScript(script.substr(cuts[task], cuts[task + 1] - cuts[task]));
      if (piecesLeft.fetch_sub(1) == 1) piecesLeft.notify_all();
      return;
    }
    if (task == pieces) {
      writeEcho(out, script);
      return;
    }
    for (size_t left = piecesLeft.load(); left != 0; left = piecesLeft.load()) {
      piecesLeft.wait(left);
    }
    prepared.parsed = joinPieces(read);
    prepareResult(prepared, limits, workers);
  });
  return writeAfterEcho(out, prepared, limits, workers);
}

int run(int argc, const char* const* argv) {
  logFileStruct log = openLog();
  if (argc != 3) {
    startLog(log, kUsageText.size());
    writeLog(log, {&kUsageText, 1});
  } else {
    runOnFiles(argv[1], argv[2], log);
  }
  closeLog(log);
  return 0;
}
