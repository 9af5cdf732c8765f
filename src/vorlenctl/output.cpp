#include "vorlenctl/output.h"

#ifdef _WIN32
#include <windows.h>

#include <optional>
#include <string>

#include "text/unicode.h"
#endif

namespace ctl {

namespace {

#ifdef _WIN32
bool WriteToConsole(std::FILE* stream, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetConsoleMode(handle, &mode) == 0) return false;
  const std::optional<std::u16string> units = text::FromUtf8(utf8);
  if (!units) return false;
  std::fflush(stream);  // what printf wrote before comes first
  DWORD written = 0;
  return WriteConsoleW(handle, units->data(), static_cast<DWORD>(units->size()), &written, nullptr) != 0;
}
#endif

}  // namespace

void Emit(std::FILE* stream, std::string_view utf8) {
#ifdef _WIN32
  if (WriteToConsole(stream, utf8)) return;
#endif
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace ctl
