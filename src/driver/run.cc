#include "driver/run.h"

#include <algorithm>
#include <atomic>

#include "driver/files.h"
#include "driver/log_file.h"
#include "driver/memory_report.h"
#include "driver/messages.h"
#include "join/join.h"
#include "output/echo.h"
#include "output/writer.h"
#include "relations/lookup.h"
#include "relations/parallel.h"
#include "relations/reader.h"

namespace {

// A message is written in one request and without an allocation, which could fail and leave
// the run with two messages.
void logMessage(logFileStruct& log, std::string_view text, std::string_view path) {
  const std::string_view parts[] = {text, path, "\n"};
  writeLog(log, parts);
}

// What became of a run that opened both files.
enum class outcomeKind { kWritten, kUnreadableInput, kOutputNotWritable };

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
  writeOutputOf(input.text(), out, workers);
  bool flushed = flushSink(out);
  if (!closeFile(outputFd) || !flushed) return outcomeKind::kOutputNotWritable;
  return outcomeKind::kWritten;
}

void logOutcome(logFileStruct& log, outcomeKind outcome, const char* input, const char* output) {
  switch (outcome) {
    case outcomeKind::kWritten:
      return;
    case outcomeKind::kUnreadableInput:
      return logMessage(log, kUnreadableInputText, input);
    case outcomeKind::kOutputNotWritable:
      return logMessage(log, kOutputNotWritableText, output);
  }
}

// The run once the command line is right: `log` is open but not emptied yet.
void runOnFiles(const char* input, const char* output, logFileStruct& log) {
  int inputFd = openForReading(input);
  if (inputFd < 0) {
    startLog(log);
    return logMessage(log, kMissingInputText, input);
  }
  // "error.log" may be the input under its own name or through a link: emptying it, or a
  // message written to it, would destroy the input.
  if (isSameOpenFile(inputFd, log.fd)) {
    leaveLog(log);
  } else {
    startLog(log);
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

}  // namespace

void writeOutputOf(std::string_view script, sinkStruct& out, size_t workers) {
  // The pieces of the script are read at once, and the echo, which needs nothing but the
  // script, is written beside them and beside the preparing of the join, which mostly keeps
  // one worker busy; all that follows the echo waits for it. Tasks are handed out in order,
  // so the join, last, waits only for pieces that are read or being read.
  std::vector<size_t> cuts = scriptCuts(script, workers);
  size_t pieces = cuts.size() - 1;
  std::vector<scriptStruct> read(pieces);
  std::atomic<size_t> piecesLeft{pieces};
  scriptStruct parsed;
  joinStruct join;
  size_t unknown = 0;  // the first name of the join list that no relation has, if any
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
    parsed = joinPieces(read);
    if (parsed.joinVec.size() < 2) return;
    std::vector<int32_t> tables = findTables(parsed.joinVec, parsed.mainVec);
    unknown = static_cast<size_t>(std::find(tables.begin(), tables.end(), -1) - tables.begin());
    if (unknown == tables.size()) join = prepareJoin(parsed.mainVec, tables, workers);
  });
  if (parsed.joinVec.size() < 2) {
    writeText(out, kJoinStructureText);
    return;
  }
  if (unknown < parsed.joinVec.size()) {
    writeText(out, kUnknownRelationText);
    writeText(out, parsed.joinVec[unknown]);
    writeByte(out, '\n');
    return;
  }
  writeResult(out, join, workers);
}

int run(int argc, const char* const* argv) {
  logFileStruct log = openLog();
  if (argc != 3) {
    startLog(log);
    writeLog(log, {&kUsageText, 1});
  } else {
    runOnFiles(argv[1], argv[2], log);
  }
  closeLog(log);
  return 0;
}
