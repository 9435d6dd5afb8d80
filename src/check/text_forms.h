#ifndef RELMERGE_CHECK_TEXT_FORMS_H_
#define RELMERGE_CHECK_TEXT_FORMS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "relations/records.h"

// A script's texts are bytes in any encoding; what the check prints must be readable and,
// in JSON, valid UTF-8.

// The length of the well-formed UTF-8 sequence that `text` starts with, or 0 when it starts
// with a byte that begins none (or is empty).
size_t utf8SequenceAt(std::string_view text);

// `bytes` as valid UTF-8: each well-formed UTF-8 sequence as it stands, each other byte as the
// character whose code point is the byte's value (U+0080 to U+00FF), so that a name written in
// a single-byte encoding such as Latin-1 or Windows-1250 stays readable.
std::string utf8Of(std::string_view bytes);

// `bytes` in double quotes with every blank and odd byte visible: a tab as \t, a CR as \r, a
// quote and a backslash escaped, other control bytes and bytes that are not UTF-8 as \xHH.
std::string quoted(std::string_view bytes);

// An attribute as its declaration writes it, name and type, quoted as a whole.
std::string quotedAttribute(const fieldStruct& field);

// Whether `byte` is a blank or a tab, the characters a script shows as white space.
inline bool isBlankOrTab(char byte) { return byte == ' ' || byte == '\t'; }

// `text` without its leading and trailing blanks and tabs.
std::string_view withoutEdgeBlanks(std::string_view text);

#endif  // RELMERGE_CHECK_TEXT_FORMS_H_
