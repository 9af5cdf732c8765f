// fbwfsim's commands, shared by its entry (fbwfsim.cpp) and the views of the
// simulated machine (fbwfsim_views.cpp).
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/console.h"
#include "wfapi/wfapi.h"
#include "wfsim/base/codes.h"
#include "wfsim/state/state.h"

namespace wfsim {

// The arguments after the command's name, as the library would get them: on
// Windows the system's own 16-bit units, elsewhere the bytes decoded as
// vorlen decodes them (see text/utf8.h).
struct Arguments {
  int count;
  char** typed;
  const WfChar* const* units = nullptr;

  std::u16string Operand(int i) const;
};

// A whole decimal number that fits `Number`.
template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// "8G", "512M", "4096": bytes from 1, with a binary suffix K, M, G or T.
bool ParseSize(std::string_view text, std::uint64_t& bytes);

// Text for people on standard output, as printf writes it: on a console
// (see text/console.h) as 16-bit units, so names show as typed; elsewhere,
// or redirected, as UTF-8 bytes.
void PrintTo(text::Console* console);
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))  // the C99 printf MinGW's C++ uses
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
int Print(const char* format, ...);

// Reports a refusal on standard error, naming its cause and, where given,
// the file or folder it concerns ("C:\\path" as typed); returns status 1.
int Fail(const StateFolder& state, const Outcome& outcome, const std::string& subject = {});

int Show(StateFolder& state, const Arguments& args);  // show [--json]
int List(StateFolder& state, const Arguments& args);  // ls VOLUME [PATH]
int Overlay(StateFolder& state, const Arguments& args);  // overlay [VOLUME]

}  // namespace wfsim
