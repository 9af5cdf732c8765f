// A folder of a test's own below /tmp, removed with everything in it when
// the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + ".XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? std::filesystem::path(pattern) : std::filesystem::path("/nonexistent");
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
