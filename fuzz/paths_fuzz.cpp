// The stand-in's path rules, on texts of 16-bit units: no crash, an accepted
// path never names anything outside the volume, and it reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wfsim/base/paths.h"
#include "wfsim/base/text.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "path fault: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wfsim;
  std::u16string path;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    path.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const auto names = ParsePath(path);
  ParseVolume(path);
  // The UTF-8 forms of the rules and of the case folding agree with the 16-bit ones.
  if (const auto utf8 = ToUtf8(path)) {
    Require(IsValidPath(*utf8) == names.has_value(), "the UTF-8 path rules disagree");
    Require(FoldCaseUtf8(*utf8) == *ToUtf8(FoldCase(path)), "the UTF-8 case folding disagrees");
  }
  if (!names) return 0;
  Require(!names->empty(), "an accepted path names the volume's root");
  for (const std::string& name : *names) {
    Require(!name.empty() && name != "." && name != "..", "an accepted name leaves its folder");
    Require(name.find_first_of("\\/:") == std::string::npos, "an accepted name holds a separator");
    Require(name.back() != '.' && name.back() != ' ', "an accepted name ends in a dot or blank");
  }
  const auto utf8 = FromUtf8(JoinPath(*names));
  Require(utf8.has_value() && *utf8 == path, "joined names differ from the path");
  Require(ParsePath(*utf8) == names, "joined names parse differently");
  return 0;
}
