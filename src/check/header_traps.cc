#include "check/header_traps.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "check/text_forms.h"
#include "relations/items.h"

namespace {

struct headerCheckStruct {
  size_t line = 0;
  std::vector<std::string_view> codes;  // reported on this line already
  std::vector<diagnosticStruct>* diagnostics = nullptr;
};

void report(headerCheckStruct& check, std::string_view code, std::string message) {
  if (std::find(check.codes.begin(), check.codes.end(), code) != check.codes.end()) return;
  check.codes.push_back(code);
  check.diagnostics->push_back({check.line, severityKind::warning, code, std::move(message), 0});
}

std::string declares(std::string_view item) {
  fieldStruct field = attributeOf(item);
  std::string name =
      field.name.empty() ? "an attribute with an empty name" : "attribute " + quoted(field.name);
  return "it declares " + name + " of type " + quoted(field.type);
}

void checkRelationName(headerCheckStruct& check, std::string_view name) {
  if (name.empty()) return;
  std::string_view edge;
  if (isBlankOrTab(name.front())) edge = "starts";
  if (isBlankOrTab(name.back())) edge = "ends";
  if (edge.empty()) return;
  char blank = edge == "starts" ? name.front() : name.back();
  report(check, kBlankInRelationName,
         "relation name " + quoted(name) + " " + std::string(edge) + " with " +
             (blank == '\t' ? "a tab" : "a blank") +
             ", which belongs to the name: a join request finds the relation only as " +
             quoted(name));
}

size_t countOf(std::string_view text, char byte) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), byte));
}

void checkDeclaration(headerCheckStruct& check, std::string_view item, bool first,
                      std::string_view next) {
  if (item.find('\t') != std::string_view::npos) {
    std::string_view name = attributeOf(item).name;
    std::string_view bare = withoutEdgeBlanks(name);
    report(check, kTabInDeclaration,
           "declaration " + quoted(item) + " holds a tab, which separates nothing: " +
               declares(item) + (bare.size() < name.size() ? ", not " + quoted(bare) : ""));
  } else if (!item.empty() && item.front() == ' ') {
    report(check, first ? kLeadingBlank : kBlankAfterComma,
           "declaration " + quoted(item) + " starts with a blank" +
               (first ? "" : ": one blank after a comma is dropped, the next one is kept") +
               ", so " + declares(item));
  } else if (!item.empty() && item.back() == ' ') {
    report(check, kTrailingBlank,
           "declaration " + quoted(item) +
               " ends with a blank, which is part of the attribute: " + declares(item));
  }
  if (next.data() == nullptr || countOf(item, '(') <= countOf(item, ')')) return;
  // The declaration went on after the comma: from its start to the end of the next item.
  std::string_view whole(item.data(), static_cast<size_t>(next.data() + next.size() - item.data()));
  report(check, kCommaInType,
         "the comma in " + quoted(whole) + " splits it in two: it declares " + quoted(item) +
             " and " + quoted(next) + " as two attributes");
}

}  // namespace

void checkHeader(const mainStruct& relation, const lineIndexStruct& lines,
                 std::vector<diagnosticStruct>& diagnostics) {
  auto offset = static_cast<size_t>(relation.name.data() - lines.text.data());
  std::string_view header = lineAround(lines.text, offset);
  headerCheckStruct check;
  check.line = lineAt(lines, offset);
  check.diagnostics = &diagnostics;
  checkRelationName(check, relation.name);
  // Each declaration is looked at once the next one is known, for a comma in its type.
  std::string_view previous;
  bool first = true;
  bool any = false;
  forEachItem(bracketText(header), [&](std::string_view item) {
    if (any) checkDeclaration(check, previous, first, item);
    first = !any;
    any = true;
    previous = item;
  });
  checkDeclaration(check, previous, first, std::string_view());
}
