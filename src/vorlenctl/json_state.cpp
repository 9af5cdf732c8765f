#include "vorlenctl/json_state.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "vorlenctl/json_reader.h"

namespace ctl {

void WriteSession(JsonWriter& out, const Session& session) {
  out.Open('{');
  for (const char* key : {"filter", "compression", "preallocation", "threshold_mb", "protected", "exclusions"}) {
    WriteSetting(out, session, key, true);
  }
  out.Close();
}

bool WriteSetting(JsonWriter& out, const Session& s, std::string_view key, bool named) {
  const auto has = [&](bool present) {
    if (present && named) out.Key(key);
    return present;
  };
  if (key == "filter" && has(s.filter.has_value())) out.Bool(*s.filter);
  else if (key == "compression" && has(s.compression.has_value())) out.Bool(*s.compression);
  else if (key == "preallocation" && has(s.preallocation.has_value())) out.Bool(*s.preallocation);
  else if (key == "threshold_mb" && has(s.threshold_mb.has_value())) out.Number(*s.threshold_mb);
  else if (key == "protected" && has(s.protected_volumes.has_value())) out.Strings(*s.protected_volumes);
  else if (key == "exclusions" && has(s.exclusions.has_value())) {
    out.Open('{');
    for (const auto& [volume, paths] : *s.exclusions) {
      out.Key(volume);
      out.Strings(paths);
    }
    out.Close();
  } else {
    return false;
  }
  return true;
}

namespace {

std::string Position(const std::string& text, std::size_t offset) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

bool Boolean(const Json& value, std::optional<bool>& out) {
  if (!value.is_boolean()) return false;
  out = value.get<bool>();
  return true;
}

bool Volumes(const Json& value, std::optional<std::vector<std::string>>& out) {
  if (!value.is_array()) return false;
  std::vector<std::string> volumes;
  for (const Json& item : value) {
    const auto volume = item.is_string() ? VolumeName(item.get<std::string>()) : std::nullopt;
    if (!volume) return false;
    if (std::find(volumes.begin(), volumes.end(), *volume) == volumes.end()) volumes.push_back(*volume);
  }
  std::sort(volumes.begin(), volumes.end());
  out = std::move(volumes);
  return true;
}

bool Lists(const Json& value, std::optional<VolumeLists>& out) {
  if (!value.is_object()) return false;
  VolumeLists lists;
  for (const auto& [key, paths] : value.items()) {
    const auto volume = VolumeName(key);
    if (!volume || !paths.is_array() || lists.count(*volume)) return false;
    std::vector<std::string>& list = lists[*volume];
    for (const Json& path : paths) {
      if (!path.is_string()) return false;
      list.push_back(path.get<std::string>());
    }
  }
  out = std::move(lists);
  return true;
}

}  // namespace

std::optional<Session> ParseDesired(const std::string& text, const std::string& source, std::string& error) {
  if (text.size() > kDesiredLimit) {
    error = source + ": larger than " + std::to_string(kDesiredLimit >> 10) + " KiB";
    return std::nullopt;
  }
  ReadFailure failure;
  const std::optional<Json> json = ReadJson(text, kDepthLimit, failure);
  if (!json) {
    error = source + ":" + Position(text, failure.offset) + ": " + failure.what;
    return std::nullopt;
  }
  if (!json->is_object()) {
    error = source + ": a desired state is a JSON object of session settings";
    return std::nullopt;
  }
  Session desired;
  for (const auto& [key, value] : json->items()) {
    bool ok = false;
    if (key == "filter") ok = Boolean(value, desired.filter);
    else if (key == "compression") ok = Boolean(value, desired.compression);
    else if (key == "preallocation") ok = Boolean(value, desired.preallocation);
    else if (key == "protected") ok = Volumes(value, desired.protected_volumes);
    else if (key == "exclusions") ok = Lists(value, desired.exclusions);
    else if (key == "threshold_mb") {
      ok = value.is_number_unsigned() && value.get<std::uint64_t>() <= 0xFFFFFFFFu;
      if (ok) desired.threshold_mb = value.get<std::uint32_t>();
    } else {
      error = source + ": \"" + key + "\" is not a setting (filter, compression, preallocation, threshold_mb, "
              "protected, exclusions)";
      return std::nullopt;
    }
    if (!ok) {
      error = source + ": \"" + key + "\" has a value of the wrong type or out of range";
      if (key == "protected" || key == "exclusions") error += " (a volume is a letter and a colon, such as C:)";
      return std::nullopt;
    }
  }
  return desired;
}

}  // namespace ctl
