// Sessions as JSON, and desired states read from a file or standard input,
// refused whole when anything in them is wrong.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "json/writer.h"
#include "vorlenctl/session.h"

namespace ctl {

using json::JsonWriter;

using Json = nlohmann::ordered_json;

// A session as an object of the keys it has, in the order of a desired state.
void WriteSession(JsonWriter& out, const Session& session);
// The value `session` has for `key`, after the key itself when `named`; false,
// and nothing written, when it has none.
bool WriteSetting(JsonWriter& out, const Session& session, std::string_view key, bool named);

// A desired state: at most kDesiredLimit bytes and kDepthLimit levels, valid
// UTF-8, no key twice, only the session's keys with values of their types.
// nullopt with `error` set ("FILE:LINE:COLUMN: what", or naming the key).
inline constexpr std::size_t kDesiredLimit = 1u << 20;
inline constexpr int kDepthLimit = 16;
std::optional<Session> ParseDesired(const std::string& text, const std::string& source, std::string& error);

}  // namespace ctl
