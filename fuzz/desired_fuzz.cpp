// vorlenctl's desired-state reader: no crash, an error or a state, never
// both; whatever it takes, written back as JSON, it takes again the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vorlenctl/json_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<ctl::Session> desired = ctl::ParseDesired(text, "input", error);
  if (desired.has_value() == !error.empty()) {
    std::fprintf(stderr, "desired fault: a state and an error at once, or neither\n");
    std::abort();
  }
  if (!desired) return 0;
  ctl::JsonWriter out;
  ctl::WriteSession(out, *desired);
  std::string again_error;
  const std::optional<ctl::Session> again = ctl::ParseDesired(out.text(), "again", again_error);
  if (!again || !(*again == *desired)) {
    std::fprintf(stderr, "desired fault: written back, it reads otherwise: %s\n", again_error.c_str());
    std::abort();
  }
  return 0;
}
