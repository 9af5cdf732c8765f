#include "vorlenctl/metrics.h"

#include <utility>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/plugin_range.h"

namespace ctl {

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

struct Sample {
  Labels labels;
  std::string value;
};

// Families are gauges, written with their HELP and TYPE only when a figure
// of theirs was read.
class Exposition {
 public:
  void Family(const char* name, const char* help, const std::vector<Sample>& samples) {
    if (samples.empty()) return;
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" gauge\n");
    for (const Sample& sample : samples) {
      text_.append(name);
      for (std::size_t i = 0; i < sample.labels.size(); ++i) {
        text_.append(i == 0 ? "{" : ",").append(sample.labels[i].first).append("=\"");
        text_.append(LabelValue(sample.labels[i].second)).append("\"");
      }
      text_.append(sample.labels.empty() ? " " : "} ").append(sample.value).append("\n");
    }
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

struct NamedSession {
  const char* name;
  const Session& session;
};

std::vector<Sample> EachSession(const Reading& reading, const std::optional<bool> Session::*setting) {
  std::vector<Sample> samples;
  for (const NamedSession& s : {NamedSession{"current", reading.current}, NamedSession{"next", reading.next}}) {
    if (const std::optional<bool>& value = s.session.*setting) samples.push_back({{{"session", s.name}}, *value ? "1" : "0"});
  }
  return samples;
}

void WriteVolumes(Exposition& out, const Reading& reading) {
  std::vector<Sample> protection, exclusions;
  for (const NamedSession& s : {NamedSession{"current", reading.current}, NamedSession{"next", reading.next}}) {
    if (!s.session.protected_volumes) continue;
    for (const std::string& volume : *s.session.protected_volumes) {
      const Labels labels = {{"session", s.name}, {"volume", volume}};
      protection.push_back({labels, "1"});
      if (!s.session.exclusions) continue;
      const auto list = s.session.exclusions->find(volume);
      exclusions.push_back({labels, std::to_string(list == s.session.exclusions->end() ? 0 : list->second.size())});
    }
  }
  out.Family("vorlen_volume_protected", "A volume the filter protects in the session: 1 for each.", protection);
  out.Family("vorlen_volume_exclusions", "The paths excluded from the filter on a protected volume.", exclusions);
}

void WriteOverlay(Exposition& out, const FbwfMemoryUsage& memory) {
  out.Family("vorlen_overlay_used_bytes", "What the overlay holds now: its folder structure and its file data.",
             {{{{"part", "dir_structure"}}, std::to_string(memory.dirStructure)},
              {{{"part", "file_data"}}, std::to_string(memory.fileData)}});
  out.Family("vorlen_overlay_threshold_bytes", "The overlay's threshold in the session.",
             {{{{"session", "current"}}, std::to_string(memory.currentCacheThreshold)},
              {{{"session", "next"}}, std::to_string(memory.nextCacheThreshold)}});
  if (memory.currentCacheThreshold == 0) return;
  out.Family("vorlen_overlay_used_ratio", "The overlay's use as a share of the current threshold.",
             {{{}, ShortDecimal(UsedBytes(memory), memory.currentCacheThreshold, 9)}});
}

void WriteReading(Exposition& out, const Reading& reading) {
  out.Family("vorlen_filter_enabled", "Whether the filter is on in the session.",
             EachSession(reading, &Session::filter));
  out.Family("vorlen_compression_enabled", "Whether the overlay is compressed in the session.",
             EachSession(reading, &Session::compression));
  out.Family("vorlen_preallocation_enabled", "Whether the overlay's memory is taken at boot in the session.",
             EachSession(reading, &Session::preallocation));
  WriteVolumes(out, reading);
  if (reading.memory) WriteOverlay(out, *reading.memory);
  out.Family("vorlen_reboot_pending", "Whether the next session differs from the current one.",
             {{{}, Differences(reading.current, reading.next).empty() ? "0" : "1"}});
}

void WriteGuard(Exposition& out, const GuardState& guard, const std::string& history) {
  std::vector<Sample> levels;
  for (const GuardLevel level : {GuardLevel::kNormal, GuardLevel::kWarning, GuardLevel::kCritical, GuardLevel::kUnknown}) {
    levels.push_back({{{"history", history}, {"level", std::string(NameOf(level))}}, level == guard.level ? "1" : "0"});
  }
  out.Family("vorlen_guard_level", "The overlay guard's level: 1 for the one it is at.", levels);
  out.Family("vorlen_guard_last_crossing_timestamp_seconds", "When the overlay guard last changed level.",
             {{{{"history", history}}, std::to_string(guard.since)}});
}

}  // namespace

std::string MetricsText(const Reading* reading, const GuardState* guard, const std::string& history) {
  Exposition out;
  out.Family("vorlen_up", "Whether the write filter's library answered: 0 when it can't be loaded or a call failed.",
             {{{}, reading ? "1" : "0"}});
  if (reading) WriteReading(out, *reading);
  if (guard) WriteGuard(out, *guard, history);
  return out.text();
}

std::string LabelValue(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\' || c == '"') escaped.push_back('\\');
    escaped.append(c == '\n' ? std::string("\\n") : std::string(1, c));
  }
  return escaped;
}

}  // namespace ctl
