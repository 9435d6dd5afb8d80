#ifndef RELMERGE_CHECK_DIAGNOSTIC_H_
#define RELMERGE_CHECK_DIAGNOSTIC_H_

#include <cstddef>
#include <string>
#include <string_view>

// A warning marks a line that is read otherwise than it was likely meant; an error, a script
// on which relmerge writes no result.
enum class severityKind { warning, error };

// One finding, on the line that causes it. A trap that many rows of a relation hold is one
// finding on the first of those rows, and `moreLines` counts the others.
struct diagnosticStruct {
  size_t line = 1;
  severityKind severity = severityKind::warning;
  std::string_view code;  // one of the codes below
  std::string message;    // UTF-8; names quoted, their odd bytes visible
  size_t moreLines = 0;
};

// The codes never change: scripts and tools may test for them.
inline constexpr std::string_view kJoinInHeader = "join-in-header";
inline constexpr std::string_view kJoinInComment = "join-in-comment";
inline constexpr std::string_view kBlankLineInBlock = "blank-line-in-block";
inline constexpr std::string_view kHeaderAsRow = "header-as-row";
inline constexpr std::string_view kJoinAsRow = "join-as-row";
inline constexpr std::string_view kBlankInRelationName = "blank-in-relation-name";
inline constexpr std::string_view kBlankInJoinName = "blank-in-join-name";
inline constexpr std::string_view kJoinNamesWithoutComma = "join-names-without-comma";
inline constexpr std::string_view kDuplicateRelation = "duplicate-relation";
inline constexpr std::string_view kLeadingBlank = "leading-blank";
inline constexpr std::string_view kBlankAfterComma = "blank-after-comma";
inline constexpr std::string_view kTrailingBlank = "trailing-blank";
inline constexpr std::string_view kTabInDeclaration = "tab-in-declaration";
inline constexpr std::string_view kCommaInType = "comma-in-type";
inline constexpr std::string_view kTypeMismatch = "type-mismatch";
inline constexpr std::string_view kMissingComparedValue = "missing-compared-value";
inline constexpr std::string_view kJoinStructure = "join-structure";
inline constexpr std::string_view kUnknownRelation = "unknown-relation";
inline constexpr std::string_view kJoinTooLarge = "join-too-large";

#endif  // RELMERGE_CHECK_DIAGNOSTIC_H_
