// A servicing in progress, as the device keeps it: a record written when the
// filter is switched off for updates and removed once the device runs
// protected again, so a rerun knows where it stopped and monitoring knows the
// filter is off by intent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/writer.h"
#include "vorlenctl/arguments.h"

namespace ctl {

struct ServicingRecord {
  std::string name;
  std::int64_t since = 0;  // seconds since 1970, UTC
  std::string step;
};

// Its fields, into an object open in `out`.
void WriteServicingFields(json::JsonWriter& out, const ServicingRecord& record);
// The record as its file holds it.
std::string ServicingText(const ServicingRecord& record);
// "the servicing NAME is in progress since TIME (step STEP)"
std::string ServicingLine(const ServicingRecord& record);
std::optional<ServicingRecord> ParseServicing(std::string_view text);

// --servicing-file FILE, else servicing.json in the guard's default folder.
std::optional<std::string> ServicingPathOf(const Arguments& parsed);
// vorlenctl's lock, in the record's folder.
std::string LockPathBeside(const std::string& record_path);
// The record there: nullopt when there is none; a record that can't be read
// is one in progress whose name is "unreadable", so it never goes unseen.
std::optional<ServicingRecord> FindServicing(const std::string& path);
// The last servicing ended there (FILE.done), if any.
std::optional<ServicingRecord> FindLastServicing(const std::string& path);
// `servicing` with the record in progress and `last_servicing` where there are.
void WriteServicingKeys(json::JsonWriter& out, const std::string& path);

}  // namespace ctl
