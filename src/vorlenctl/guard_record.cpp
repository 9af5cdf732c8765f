#include "vorlenctl/guard_record.h"

#include "vorlenctl/host.h"
#include "vorlenctl/json_reader.h"

namespace ctl {

std::string StatePath(const std::string& history) { return history + ".state"; }
std::string OverlayPath(const std::string& history) { return history + ".overlay.json"; }
std::string PreviousPath(const std::string& history) { return history + ".1"; }

namespace {

std::string TwoDigits(unsigned value) { return std::string(1, char('0' + value / 10)) + char('0' + value % 10); }

void WriteFigures(json::JsonWriter& out, const Figures& figures) {
  out.Key("used_bytes").Number(figures.used);
  out.Key("threshold_bytes").Number(figures.threshold);
}

void WriteCommand(json::JsonWriter& out, const CommandResult& command) {
  out.Key("command").Open('{');
  switch (command.end) {
    case CommandResult::End::kExited: out.Key("exit_status").Number(static_cast<unsigned>(command.status)); break;
    case CommandResult::End::kTimedOut: out.Key("timed_out").Bool(true); break;
    case CommandResult::End::kStopped: out.Key("stopped").Bool(true); break;
    case CommandResult::End::kNotStarted: out.Key("error").String(command.error); break;
  }
  out.Close();
}

std::optional<std::uint64_t> Unsigned(const nlohmann::ordered_json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::uint64_t>();
}

std::optional<GuardLevel> Level(const nlohmann::ordered_json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return GuardLevelNamed(found->get<std::string>());
}

}  // namespace

// Days to a civil date: Howard Hinnant's days_from_civil, reversed.
std::string Iso8601(std::int64_t seconds) {
  const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const std::int64_t second_of_day = seconds - days * 86400;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const auto day = static_cast<unsigned>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  const auto clock = static_cast<unsigned>(second_of_day);
  return std::to_string(year).append("-").append(TwoDigits(month)).append("-").append(TwoDigits(day))
      .append("T").append(TwoDigits(clock / 3600)).append(":").append(TwoDigits(clock / 60 % 60))
      .append(":").append(TwoDigits(clock % 60)).append("Z");
}

std::string HistoryLine(const Crossing& crossing) {
  json::JsonWriter out{json::JsonWriter::OneLine{}};
  out.Open('{');
  out.Key("time").String(Iso8601(crossing.time));
  out.Key("from").String(NameOf(crossing.from));
  out.Key("to").String(NameOf(crossing.to));
  if (crossing.figures) {
    WriteFigures(out, *crossing.figures);
    out.Key("percent").Tenths(PercentTenths(crossing.figures->used, crossing.figures->threshold));
  }
  if (!crossing.reason.empty()) out.Key("reason").String(crossing.reason);
  if (crossing.command) WriteCommand(out, *crossing.command);
  out.Close();
  return out.text() + "\n";
}

std::string StateText(const GuardState& state) {
  json::JsonWriter out{json::JsonWriter::OneLine{}};
  out.Open('{');
  out.Key("level").String(NameOf(state.level));
  out.Key("last_known").String(NameOf(state.last_known));
  out.Key("since").String(Iso8601(state.since));
  out.Key("since_seconds").Number(static_cast<std::uint64_t>(state.since));
  WriteFigures(out, state.figures);
  out.Close();
  return out.text() + "\n";
}

std::optional<GuardState> ParseGuardState(std::string_view text) {
  ReadFailure failure;
  const std::optional<nlohmann::ordered_json> json = ReadJson(text, 4, failure);
  if (!json || !json->is_object()) return std::nullopt;
  const std::optional<GuardLevel> level = Level(*json, "level"), last_known = Level(*json, "last_known");
  const std::optional<std::uint64_t> since = Unsigned(*json, "since_seconds"), used = Unsigned(*json, "used_bytes"),
                                     threshold = Unsigned(*json, "threshold_bytes");
  if (!level || !last_known || *last_known == GuardLevel::kUnknown || !since || !used || !threshold) return std::nullopt;
  return GuardState{*level, *last_known, static_cast<std::int64_t>(*since), {*used, *threshold}};
}

std::optional<GuardState> ReadGuardState(const std::string& history) {
  const std::optional<std::string> text = host::Read(StatePath(history), 4096);
  return text ? ParseGuardState(*text) : std::nullopt;
}

void WriteGuardState(json::JsonWriter& out, const GuardState& state) {
  out.Open('{');
  out.Key("level").String(NameOf(state.level));
  out.Key("since").String(Iso8601(state.since));
  WriteFigures(out, state.figures);
  out.Close();
}

}  // namespace ctl
