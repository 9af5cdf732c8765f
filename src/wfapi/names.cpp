#include "wfapi/names.h"

#include <array>

#include "text/unicode.h"

namespace wfapi {

using text::FoldCase;
using text::FromUtf8;
using text::ToUtf8;

namespace {

constexpr std::size_t kNameLimit = 255;

bool IsForbidden(char16_t unit) {
  return unit < 0x20 || unit == u'<' || unit == u'>' || unit == u':' || unit == u'"' ||
         unit == u'/' || unit == u'|' || unit == u'?' || unit == u'*';
}

// Windows opens the device, not a file, for these names, whatever extension
// follows and with blanks before it: CON, PRN, AUX, NUL, CONIN$, CONOUT$, and
// COM or LPT with a digit from 0 to 9 or a superscript 1, 2 or 3.
bool IsDeviceName(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  const std::u16string folded = FoldCase(stem);
  constexpr std::array<std::u16string_view, 6> kPlain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$",
                                                          u"CONOUT$"};
  for (std::u16string_view device : kPlain) {
    if (folded == device) return true;
  }
  if (folded.size() != 4 || !(folded.starts_with(u"COM") || folded.starts_with(u"LPT"))) return false;
  const char16_t last = folded[3];
  return (last >= u'0' && last <= u'9') || last == u'\u00B9' || last == u'\u00B2' || last == u'\u00B3';
}

// What is wrong with a name, or nullptr.
const char* NameProblem(std::u16string_view name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kNameLimit) return "a name longer than 255 characters";
  if (name.back() == u'.' || name.back() == u' ') return "a name ending in a dot or a blank";  // also . and ..
  for (char16_t unit : name) {
    if (IsForbidden(unit)) return "a character names can't hold (< > : \" / | ? * or a control character)";
  }
  return IsDeviceName(name) ? "a device name such as NUL or COM1" : nullptr;
}

bool IsValidName(std::u16string_view name) { return NameProblem(name) == nullptr; }

}  // namespace

std::optional<char> ParseVolume(std::u16string_view volume) {
  if (volume.size() != 2 || volume[1] != u':') return std::nullopt;
  const char16_t letter = FoldCase(volume[0]);
  if (letter < u'A' || letter > u'Z') return std::nullopt;
  return static_cast<char>(letter);
}

std::optional<std::vector<std::string>> ParsePath(std::u16string_view path) {
  if (path.empty() || path[0] != u'\\') return std::nullopt;
  std::vector<std::string> names;
  std::size_t start = 1;
  while (true) {
    const std::size_t end = path.find(u'\\', start);
    const std::u16string_view name = path.substr(start, end - start);
    if (!IsValidName(name)) return std::nullopt;
    std::optional<std::string> utf8 = ToUtf8(name);
    if (!utf8) return std::nullopt;
    names.push_back(std::move(*utf8));
    if (end == std::u16string_view::npos) return names;
    start = end + 1;
  }
}

std::string PathProblem(std::u16string_view path) {
  if (path.empty() || path[0] != u'\\') return "it does not start at the volume's root with a backslash";
  for (std::size_t start = 1;;) {
    const std::size_t end = path.find(u'\\', start);
    if (const char* problem = NameProblem(path.substr(start, end - start))) return std::string("it holds ") + problem;
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return "it holds an unpaired surrogate";
}

bool IsValidPath(std::string_view utf8) {
  const std::optional<std::u16string> wide = FromUtf8(utf8);
  if (!wide || utf8.empty() || utf8[0] != '\\') return false;
  // A backslash never occurs inside a multi-byte sequence, so the names of
  // both forms line up.
  std::size_t start = 1;
  std::size_t wide_start = 1;
  while (true) {
    const std::size_t end = utf8.find('\\', start);
    const std::size_t wide_end = wide->find(u'\\', wide_start);
    if (!IsValidName(std::u16string_view(*wide).substr(wide_start, wide_end - wide_start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
    wide_start = wide_end + 1;
  }
}

}  // namespace wfapi
