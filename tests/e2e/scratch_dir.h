#ifndef RELMERGE_TESTS_E2E_SCRATCH_DIR_H_
#define RELMERGE_TESTS_E2E_SCRATCH_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

// A fresh working folder for one run of the tool, removed with all it holds when the case
// ends, passed or failed: "error.log" lands in the working folder, so no two runs may share one.
struct scratchDirStruct {
  scratchDirStruct() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "relmerge-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~scratchDirStruct() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  scratchDirStruct(const scratchDirStruct&) = delete;
  scratchDirStruct& operator=(const scratchDirStruct&) = delete;

  std::filesystem::path path;  // empty when no folder could be made
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeFile(const std::filesystem::path& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  return !out.fail();
}

#endif  // RELMERGE_TESTS_E2E_SCRATCH_DIR_H_
