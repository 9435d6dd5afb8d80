#ifndef RELMERGE_TESTS_CHECK_READ_JSON_H_
#define RELMERGE_TESTS_CHECK_READ_JSON_H_

#include <nlohmann/json.hpp>
#include <string_view>

// The document that a JSON text holds. The library's parser is the slowest code of the tests
// to compile: it is compiled here once, not again in every file that reads a report.
nlohmann::json readJson(std::string_view text);

#endif  // RELMERGE_TESTS_CHECK_READ_JSON_H_
