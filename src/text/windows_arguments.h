// Windows hands a program its command line in 16-bit units; the narrow
// argument vector is a lossy copy in the ANSI code page. Programs take the
// units for the library and keep the narrow copy for what they echo (in
// UTF-8 where the echo goes to a console, see console_output.h).
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <vector>

namespace text {

class NarrowArguments {
 public:
  // By default the same bytes the narrow runtime makes: the ANSI code page, best fit.
  NarrowArguments(int argc, wchar_t** wide, UINT code_page = CP_ACP) : texts_(static_cast<std::size_t>(argc)) {
    for (int i = 0; i < argc; ++i) {
      const int size = WideCharToMultiByte(code_page, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string& text = texts_[static_cast<std::size_t>(i)];
      text.assign(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
      if (size > 0) WideCharToMultiByte(code_page, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
    }
    for (std::string& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
  }

  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

}  // namespace text

#endif
