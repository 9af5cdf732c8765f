// The stand-in's configuration parser: no crash, and whatever parses writes
// back to text that parses to the same configuration.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "wfsim/config/config.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "config fault: %s\n", what);
    std::abort();
  }
}

bool SameSettings(const wfsim::SessionConfig& a, const wfsim::SessionConfig& b) {
  return a.filter == b.filter && a.compression == b.compression &&
         a.preallocation == b.preallocation && a.threshold == b.threshold &&
         a.protected_volumes == b.protected_volumes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wfsim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Config config;
  ParseError error;
  if (!ParseConfig(text, ParseScope::kAll, config, error)) {
    Require(!error.what.empty(), "a refusal without a reason");
    return 0;
  }
  Config again;
  Require(ParseConfig(FormatConfig(config), ParseScope::kAll, again, error), "written text does not parse");
  Require(again == config, "written text parses to another configuration");
  // A settings-only read agrees with the whole read on what it reports.
  Config settings;
  Require(ParseConfig(text, ParseScope::kSettings, settings, error), "settings read refused a valid file");
  Require(SameSettings(settings.current, config.current) && SameSettings(settings.next, config.next),
          "settings read disagrees with the whole read");
  return 0;
}
