// A JSON text (RFC 8259) read whole into a value, or refused at the byte
// where it goes wrong. Stricter than the standard where a desired state must
// be: a key given twice in one object, nesting past a limit and text that is
// not UTF-8 are refused. Nothing here throws, so the reader also serves the
// Windows builds that have no exceptions; nlohmann's own parser would need
// them off (JSON_NOEXCEPTION turns each throw into an abort), and its
// refusals are worded its way, where this one's say what is wrong in a
// desired state's terms.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ctl {

struct ReadFailure {
  std::size_t offset = 0;  // bytes from the start of the text
  std::string what;
};

// Objects keep their keys in the order of the text.
std::optional<nlohmann::ordered_json> ReadJson(std::string_view text, int depth_limit, ReadFailure& failure);

}  // namespace ctl
