#include "check/read_json.h"

nlohmann::json readJson(std::string_view text) { return nlohmann::json::parse(text); }
