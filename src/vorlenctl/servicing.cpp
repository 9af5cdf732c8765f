#include "vorlenctl/servicing.h"

#include "json/writer.h"
#include "vorlenctl/guard_record.h"
#include "vorlenctl/host.h"
#include "vorlenctl/json_reader.h"

namespace ctl {

namespace {

// The file `name` in the folder of `path`.
std::string Beside(const std::string& path, const char* name) {
  return path.substr(0, path.find_last_of("/\\") + 1) + name;
}

}  // namespace

void WriteServicingFields(json::JsonWriter& out, const ServicingRecord& record) {
  out.Key("servicing").String(record.name);
  out.Key("since").String(Iso8601(record.since));
  out.Key("since_seconds").Number(static_cast<std::uint64_t>(record.since < 0 ? 0 : record.since));
  out.Key("step").String(record.step);
}

std::string ServicingText(const ServicingRecord& record) {
  json::JsonWriter out;
  out.Open('{');
  WriteServicingFields(out, record);
  out.Close();
  return out.text() + "\n";
}

std::string ServicingLine(const ServicingRecord& record) {
  return "the servicing " + record.name + " is in progress since " + Iso8601(record.since) + " (step " + record.step +
         ")";
}

std::optional<ServicingRecord> ParseServicing(std::string_view text) {
  ReadFailure failure;
  const std::optional<nlohmann::ordered_json> json = ReadJson(text, 2, failure);
  if (!json || !json->is_object()) return std::nullopt;
  const auto name = json->find("servicing"), since = json->find("since_seconds"), step = json->find("step");
  if (name == json->end() || !name->is_string() || since == json->end() || !since->is_number_unsigned() ||
      step == json->end() || !step->is_string()) {
    return std::nullopt;
  }
  return ServicingRecord{name->get<std::string>(), static_cast<std::int64_t>(since->get<std::uint64_t>()),
                         step->get<std::string>()};
}

std::optional<std::string> ServicingPathOf(const Arguments& parsed) {
  if (std::optional<std::string> given = parsed.Value("--servicing-file")) return given;
  const std::optional<std::string> history = host::DefaultGuardHistory();
  if (!history) return std::nullopt;
  return Beside(*history, "servicing.json");
}

std::string LockPathBeside(const std::string& record_path) {
  return Beside(record_path, "vorlenctl.lock");
}

std::optional<ServicingRecord> FindServicing(const std::string& path) {
  if (host::Inspect(path).kind == host::PathKind::kMissing) return std::nullopt;
  const std::optional<std::string> text = host::Read(path, 4096);
  if (const std::optional<ServicingRecord> record = text ? ParseServicing(*text) : std::nullopt) return record;
  return ServicingRecord{"unreadable", 0, "unknown"};
}

std::optional<ServicingRecord> FindLastServicing(const std::string& path) {
  const std::optional<std::string> text = host::Read(path + ".done", 4096);
  return text ? ParseServicing(*text) : std::nullopt;
}

void WriteServicingKeys(json::JsonWriter& out, const std::string& path) {
  for (const auto& [key, record] : {std::pair{"servicing", FindServicing(path)}, std::pair{"last_servicing", FindLastServicing(path)}}) {
    if (!record) continue;
    out.Key(key).Open('{');
    WriteServicingFields(out, *record);
    out.Close();
  }
}

}  // namespace ctl
