#include "check/text_forms.h"

#include <cstdint>

namespace {

bool inRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// The allowed range of the second byte of a sequence led by `lead`, and the sequence's
// length; 0 for a byte that leads none. Overlong forms, surrogates and code points past
// U+10FFFF are not well formed.
size_t sequenceShape(unsigned char lead, unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead < 0x80) return 1;
  if (inRange(lead, 0xC2, 0xDF)) return 2;
  if (inRange(lead, 0xE0, 0xEF)) {
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    return 3;
  }
  if (inRange(lead, 0xF0, 0xF4)) {
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    return 4;
  }
  return 0;
}

void appendHex(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

}  // namespace

size_t utf8SequenceAt(std::string_view text) {
  if (text.empty()) return 0;
  unsigned char low = 0;
  unsigned char high = 0;
  size_t length = sequenceShape(static_cast<unsigned char>(text[0]), low, high);
  if (length == 0 || text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (i == 1 ? !inRange(byte, low, high) : !inRange(byte, 0x80, 0xBF)) return 0;
  }
  return length;
}

std::string utf8Of(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    size_t length = utf8SequenceAt(bytes.substr(at));
    if (length > 0) {
      out.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    // A byte from 80 to FF is the two-byte sequence of the code point of its value.
    auto byte = static_cast<unsigned char>(bytes[at++]);
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return out;
}

std::string quoted(std::string_view bytes) {
  std::string out = "\"";
  for (size_t at = 0; at < bytes.size();) {
    char byte = bytes[at];
    auto value = static_cast<unsigned char>(byte);
    size_t length = utf8SequenceAt(bytes.substr(at));
    if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '"' || byte == '\\') {
      out += '\\';
      out += byte;
    } else if (value < 0x20 || value == 0x7F || length == 0) {
      appendHex(out, value);
    } else {
      out.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    ++at;
  }
  out += '"';
  return out;
}

std::string quotedAttribute(const fieldStruct& field) {
  // A declaration without a blank is both name and type: the same view twice.
  if (field.name.data() == field.type.data()) return quoted(field.name);
  std::string declaration(field.name);
  declaration += ' ';
  declaration.append(field.type);
  return quoted(declaration);
}

std::string_view withoutEdgeBlanks(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && isBlankOrTab(text[start])) ++start;
  size_t end = text.size();
  while (end > start && isBlankOrTab(text[end - 1])) --end;
  return text.substr(start, end - start);
}
