#ifndef RELMERGE_DRIVER_CHECK_MESSAGES_H_
#define RELMERGE_DRIVER_CHECK_MESSAGES_H_

#include <string_view>

// The fixed texts of relmerge-check, which speaks English on the terminal.

inline constexpr std::string_view kCheckName = "relmerge-check";

// To standard output for --help.
inline constexpr std::string_view kCheckHelpText =
    "usage: relmerge-check [--json] [--quiet] SCRIPT\n"
    "\n"
    "Reads SCRIPT (- for standard input) as relmerge reads it, reports the lines that are\n"
    "likely not read as they were meant, and tells what relmerge makes of the script: its\n"
    "relations, the join request, each step of the join and the exact size of the result.\n"
    "\n"
    "  --json     write one JSON document instead of text\n"
    "  --quiet    write the diagnostics alone, without the summary (text form)\n"
    "  --help     write this text\n"
    "  --version  write the version\n"
    "\n"
    "Exit status: 0 no diagnostic, 1 warnings only, 2 relmerge writes no result,\n"
    "64 wrong command line, 66 the script cannot be read, 74 the report cannot be\n"
    "written.\n";

// To standard error after the reason of a usage error.
inline constexpr std::string_view kCheckShortUsage =
    "usage: relmerge-check [--json] [--quiet] SCRIPT\n"
    "Try 'relmerge-check --help' for more.\n";

inline constexpr std::string_view kCheckUnknownOption = "relmerge-check: unknown option ";
inline constexpr std::string_view kCheckOneScript = "relmerge-check: name one script\n";
inline constexpr std::string_view kCheckCannotRead = "relmerge-check: cannot read ";
inline constexpr std::string_view kCheckOutOfMemory = "relmerge-check: out of memory\n";
inline constexpr std::string_view kCheckCannotWrite =
    "relmerge-check: cannot write the report to standard output\n";

// How the diagnostics name standard input.
inline constexpr std::string_view kStandardInputName = "<stdin>";

#endif  // RELMERGE_DRIVER_CHECK_MESSAGES_H_
