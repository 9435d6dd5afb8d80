#include "check/random_script.h"

#include <random>
#include <string>
#include <vector>

namespace {

struct makerStruct {
  std::mt19937 rng;
  std::string lineEnd = "\n";

  size_t pick(size_t n) { return rng() % n; }
  bool chance(size_t inN, size_t n) { return pick(n) < inN; }
  std::string line(const std::string& text) { return text + lineEnd; }
  std::string separator() {
    if (chance(1, 40)) return ",  ";
    return chance(1, 8) ? "," : ", ";
  }
};

std::string attribute(makerStruct& maker) {
  static const char* const kNames[] = {"a", "b", "c", "d", "e"};
  static const char* const kTypes[] = {"int", "int", "int", "text"};
  std::string name = kNames[maker.pick(5)];
  if (maker.chance(1, 60)) return name + "\tint";
  if (maker.chance(1, 60)) return name + " decimal(8,2)";
  return name + " " + kTypes[maker.pick(4)];
}

std::string value(makerStruct& maker) {
  static const char* const kOdd[] = {"", "1 ", " 1", "01", "x", "join", "(2)", "\xE1"};
  if (maker.chance(1, 12)) return kOdd[maker.pick(8)];
  return std::to_string(maker.pick(3));
}

std::string dataLine(makerStruct& maker, size_t attributes) {
  if (maker.chance(1, 80)) return "  ";
  size_t values = attributes;
  if (maker.chance(1, 4)) values = 1 + maker.pick(attributes + 2);
  std::string text;
  for (size_t i = 0; i < values; ++i) {
    if (i > 0) text += maker.separator();
    text += value(maker);
  }
  return text.empty() ? "0" : text;
}

std::string relation(makerStruct& maker, const std::string& name) {
  size_t attributes = 1 + maker.pick(3);
  std::string header = name + (maker.chance(1, 30) ? " (" : "(");
  for (size_t i = 0; i < attributes; ++i) {
    if (i > 0) header += maker.separator();
    header += attribute(maker);
  }
  std::string text = maker.line(header + ")");
  size_t rows = maker.chance(1, 10) ? maker.pick(25) : maker.pick(5);
  for (size_t i = 0; i < rows; ++i) text += maker.line(dataLine(maker, attributes));
  // Without the empty line the next header, or the join line, is a row of this relation.
  return maker.chance(1, 25) ? text : text + maker.line("");
}

std::string joinLine(makerStruct& maker, const std::vector<std::string>& names) {
  size_t count = maker.chance(1, 20) ? maker.pick(2) : 2 + maker.pick(3);
  std::string text = "join(";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += maker.chance(1, 40) ? " " : maker.separator();
    if (maker.chance(1, 40)) {
      text += "X";
    } else if (maker.chance(1, 40)) {
      text += "r";
    } else {
      text += names[maker.pick(names.size())];
    }
  }
  return text + ")";
}

}  // namespace

std::string randomScript(uint32_t seed) {
  makerStruct maker{std::mt19937(seed)};
  if (maker.chance(1, 8)) maker.lineEnd = "\r\n";
  std::vector<std::string> names;
  std::string text;
  size_t relations = 1 + maker.pick(4);
  for (size_t i = 0; i < relations; ++i) {
    bool again = !names.empty() && maker.chance(1, 8);
    names.push_back(again ? names[maker.pick(names.size())] : std::string(1, "RSTU"[i]));
    text += relation(maker, names.back());
    if (maker.chance(1, 30)) text += maker.line(maker.chance(1, 2) ? "-- join them" : "note");
  }
  if (maker.chance(1, 30)) return text;
  text += joinLine(maker, names);
  return maker.chance(1, 3) ? text : maker.line(text);
}
