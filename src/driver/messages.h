#ifndef RELMERGE_DRIVER_MESSAGES_H_
#define RELMERGE_DRIVER_MESSAGES_H_

#include <string_view>

// Every fixed text of the tool, as Windows-1250 bytes. A hex escape swallows every hex digit
// after it, so a literal is split wherever a letter a-f follows an escape.

// To "error.log" when the argument count is wrong; no line end follows it.
inline constexpr std::string_view kUsageText =
    "\nHib\xE1s a param\xE9terez\xE9s!\n\n\tHelyesen: relmerge.exe bemen\xF5"
    "file_neve kimen\xF5"
    "file_neve";

// To "error.log", followed by the input path and "\n", when the input cannot be opened.
inline constexpr std::string_view kMissingInputText = "\nA megadott f\xE1jlt nem tal\xE1lom: ";

// To "error.log", followed by the output path and "\n", when the output cannot be written.
inline constexpr std::string_view kOutputNotWritableText =
    "\nA kimen\xF5 f\xE1jl nem \xEDrhat\xF3: ";

// To "error.log", followed by the output path and "\n", when the output is the input itself.
inline constexpr std::string_view kSameFileText =
    "\nA kimen\xF5 f\xE1jl azonos a bemen\xF5 f\xE1jllal: ";

// To "error.log", followed by the input path and "\n", when a read from the input fails.
inline constexpr std::string_view kUnreadableInputText = "\nA bemen\xF5 f\xE1jl nem olvashat\xF3: ";

// To "error.log", followed by the input path and "\n", when the run cannot have the memory it
// needs, or when a relation of the join holds more rows or attributes than a join can number.
inline constexpr std::string_view kLackOfMemoryText = "\nNincs el\xE9g mem\xF3ria: ";

// To the output file after the echo when the join list holds fewer than two names.
inline constexpr std::string_view kJoinStructureText = "Hib\xE1s a join szerkezet!\n";

// To the output file after the echo, followed by the name and "\n", when no relation carries
// a name of the join list.
inline constexpr std::string_view kUnknownRelationText =
    "A megadott rel\xE1"
    "ci\xF3t nem tal\xE1lom: ";

#endif  // RELMERGE_DRIVER_MESSAGES_H_
