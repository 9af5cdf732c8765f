// A Windows console shows bytes through its OEM code page, so text meant for
// people is written to it as 16-bit units, and names show as typed. Output
// that is redirected keeps its bytes.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace text {

class Console {
 public:
  virtual ~Console() = default;
  virtual bool IsConsole() = 0;  // GetConsoleMode succeeds on standard output
  virtual bool Write(const std::u16string& text) = 0;  // WriteConsoleW
};

#ifdef _WIN32
class SystemConsole final : public Console {
 public:
  bool IsConsole() override {
    DWORD mode = 0;
    return GetConsoleMode(output_, &mode) != 0;
  }
  bool Write(const std::u16string& text) override {
    DWORD written = 0;
    return WriteConsoleW(output_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
  }

 private:
  HANDLE output_ = GetStdHandle(STD_OUTPUT_HANDLE);
};
#endif

}  // namespace text
