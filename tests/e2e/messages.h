#ifndef RELMERGE_TESTS_E2E_MESSAGES_H_
#define RELMERGE_TESTS_E2E_MESSAGES_H_

#include <string>
#include <string_view>

// The tool's fixed texts, spelled out here once more, byte for byte, so that a wrong byte in
// the tool's own copy shows up.
namespace expectedText {

inline constexpr std::string_view kUsageText =
    "\nHib\xE1s a param\xE9terez\xE9s!\n\n\tHelyesen: relmerge.exe bemen\xF5"
    "file_neve kimen\xF5"
    "file_neve";
inline constexpr std::string_view kJoinStructureText = "Hib\xE1s a join szerkezet!\n";
inline constexpr std::string_view kUnknownRelationText =
    "A megadott rel\xE1"
    "ci\xF3t nem tal\xE1lom: ";

// The messages of error.log, each with the path it names.
inline std::string missingInput(std::string_view path) {
  return std::string("\nA megadott f\xE1jlt nem tal\xE1lom: ").append(path).append("\n");
}

inline std::string outputNotWritable(std::string_view path) {
  return std::string("\nA kimen\xF5 f\xE1jl nem \xEDrhat\xF3: ").append(path).append("\n");
}

inline std::string sameFile(std::string_view path) {
  return std::string("\nA kimen\xF5 f\xE1jl azonos a bemen\xF5 f\xE1jllal: ")
      .append(path)
      .append("\n");
}

inline std::string unreadableInput(std::string_view path) {
  return std::string("\nA bemen\xF5 f\xE1jl nem olvashat\xF3: ").append(path).append("\n");
}

inline std::string lackOfMemory(std::string_view path) {
  return std::string("\nNincs el\xE9g mem\xF3ria: ").append(path).append("\n");
}

// What the output holds after the echo when no relation carries `name` of the join list.
inline std::string unknownRelation(std::string_view name) {
  return std::string(kUnknownRelationText).append(name).append("\n");
}

}  // namespace expectedText

#endif  // RELMERGE_TESTS_E2E_MESSAGES_H_
