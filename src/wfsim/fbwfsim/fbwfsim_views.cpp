// fbwfsim show, overlay and ls: the simulated machine as a person or a script
// reads it.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "wfsim/base/paths.h"
#include "wfsim/base/text.h"
#include "wfsim/fbwfsim/fbwfsim.h"
#include "wfsim/machine/machine.h"

namespace wfsim {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }
const char* SizeDisplay(const SessionConfig& session) { return session.virtual_size ? "virtual" : "actual"; }

std::string Volumes(const SessionConfig& session) {
  if (session.protected_volumes.empty()) return "-";
  std::string list;
  for (char volume : session.protected_volumes) {
    if (!list.empty()) list += ' ';
    (list += volume) += ':';
  }
  return session.filter ? list : list + " (filter off)";
}

void PrintExclusions(const char* heading, const SessionConfig& session) {
  Print("%s\n", heading);
  if (session.exclusions.empty()) Print("  (none)\n");
  for (const Exclusion& e : session.exclusions) Print("  %c:%s\n", e.volume, e.path.c_str());
}

void PrintText(const StateFolder& state, const MachineView& snapshot) {
  const SessionConfig& now = snapshot.config.current;
  const SessionConfig& next = snapshot.config.next;
  const Release& release = *snapshot.config.release;
  Print("release         %s (%s)\n", release.name, release.systems);
  Print("state folder    %s\n\n", state.dir().string().c_str());
  Print("%-16s%-16s%s\n", "", "current", "next");
  Print("%-16s%-16s%s\n", "filter", OnOff(now.filter), OnOff(next.filter));
  Print("%-16s%-16s%s\n", "compression", OnOff(now.compression), OnOff(next.compression));
  Print("%-16s%-16s%s\n", "preallocation", OnOff(now.preallocation), OnOff(next.preallocation));
  Print("%-16s%-16u%u\n", "threshold (MB)", static_cast<unsigned>(now.threshold),
              static_cast<unsigned>(next.threshold));
  Print("%-16s%-16s%s\n", "protected", Volumes(now).c_str(), Volumes(next).c_str());
  Print("%-16s%-16s%s\n", "size display", SizeDisplay(now), SizeDisplay(next));
  Print("%-16s%-16ju%ju\n\n", "threshold (B)", snapshot.memory.current_threshold,
              snapshot.memory.next_threshold);
  Print("overlay         %ju bytes used: %ju of directory structure, %ju of file data; %ju left\n\n",
              snapshot.memory.used.Total(), snapshot.memory.used.dir_structure, snapshot.memory.used.file_data,
              snapshot.memory.Left());
  Print("%-8s%16s%16s%16s\n", "volume", "capacity (B)", "actual use", "virtual use");
  for (const VolumeFigures& volume : snapshot.volumes) {
    Print("%c:      %16ju%16ju%16ju\n", volume.letter, volume.capacity, volume.actual_used,
                volume.virtual_used);
  }
  Print("\n");
  PrintExclusions("exclusions in this session:", now);
  PrintExclusions("exclusions from the next session:", next);
  Print("files in the cache:\n");
  if (snapshot.files.empty()) Print("  (none)\n");
  for (const CachedFile& file : snapshot.files) {
    Print("  %s (%ju bytes)\n", Printable(file.name).c_str(), file.size);
  }
  for (const Fault& fault : snapshot.faults) {
    Print("injected: %s returns %u, %u more time(s)\n", fault.function.c_str(),
                static_cast<unsigned>(fault.code), static_cast<unsigned>(fault.count));
  }
}

std::string Drive(char volume) { return {volume, ':'}; }

using Json = nlohmann::ordered_json;

// The exclusion lists by volume: of the protected volumes (`kept` false), as
// the library lists them, or of the others, kept for when they are protected
// again (`kept` true).
Json ExclusionsJson(const SessionConfig& session, bool kept) {
  Json lists = Json::object();
  if (!kept) {
    for (char volume : session.protected_volumes) lists[Drive(volume)] = Json::array();
  }
  for (const Exclusion& e : session.exclusions) {
    if (session.Lists(e.volume) != kept) lists[Drive(e.volume)].push_back(e.path);
  }
  return lists;
}

// A session as vorlenctl prints and reads one, so that a session shown here
// is a desired state that changes nothing.
Json SessionJson(const SessionConfig& session) {
  Json protected_volumes = Json::array();
  for (char volume : session.protected_volumes) protected_volumes.push_back(Drive(volume));
  return {{"filter", session.filter},
          {"compression", session.compression},
          {"preallocation", session.preallocation},
          {"threshold_mb", session.threshold},
          {"protected", protected_volumes},
          {"exclusions", ExclusionsJson(session, false)}};
}

void PrintJson(const StateFolder& state, const MachineView& snapshot) {
  Json cache = Json::array();
  for (const CachedFile& file : snapshot.files) {
    const std::string_view name = file.name;  // "C:\path"
    cache.push_back({{"volume", std::string(name.substr(0, 2))},
                     {"path", std::string(name.substr(2))},
                     {"bytes", file.size}});
    // A name that is not valid Unicode shows U+FFFD in "path"; this names it.
    if (!file.hex.empty()) cache.back()["path_hex"] = file.hex;
  }
  Json faults = Json::array();
  for (const Fault& fault : snapshot.faults) {
    faults.push_back({{"function", fault.function}, {"code", fault.code}, {"count", fault.count}});
  }
  Json volumes = Json::array();
  for (const VolumeFigures& volume : snapshot.volumes) {
    volumes.push_back({{"volume", Drive(volume.letter)},
                       {"capacity", volume.capacity},
                       {"actual_used", volume.actual_used},
                       {"virtual_used", volume.virtual_used}});
  }
  const Config& config = snapshot.config;
  const MemoryUsage& memory = snapshot.memory;
  const Json document = {{"release", config.release->name},
                         {"state_folder", Utf8Of(state.dir())},
                         {"current", SessionJson(config.current)},
                         {"next", SessionJson(config.next)},
                         {"kept_exclusions",
                          {{"current", ExclusionsJson(config.current, true)}, {"next", ExclusionsJson(config.next, true)}}},
                         {"size_display", {{"current", SizeDisplay(config.current)}, {"next", SizeDisplay(config.next)}}},
                         {"memory", {{"current_threshold", memory.current_threshold},
                                     {"next_threshold", memory.next_threshold},
                                     {"dir_structure", memory.used.dir_structure},
                                     {"file_data", memory.used.file_data}}},
                         {"volumes", volumes},
                         {"cache", cache},
                         {"faults", faults}};
  // A state folder's name need not be UTF-8 on Linux; it must not stop the rest.
  Print("%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

}  // namespace

int Show(StateFolder& state, const Arguments& args) {
  const bool json = args.count == 1;
  if (json && std::string_view(args.typed[0]) != "--json") return -1;
  MachineView snapshot;
  if (const Outcome taken = Machine(state).View(snapshot); !taken.ok()) return Fail(state, taken);
  if (json) {
    PrintJson(state, snapshot);
  } else {
    PrintText(state, snapshot);
  }
  return 0;
}

int List(StateFolder& state, const Arguments& args) {
  const std::u16string path = args.count == 2 ? args.Operand(1) : u"\\";
  std::vector<ListedEntry> entries;
  const Outcome outcome = Machine(state).List(args.Operand(0), path, entries);
  if (!outcome.ok()) return Fail(state, outcome, std::string(args.typed[0]) + (args.count == 2 ? args.typed[1] : "\\"));
  for (const ListedEntry& entry : entries) {
    if (entry.folder) {
      Print("%-6s %12s  %s\\\n", entry.cached ? "cache" : "disk", "-", Printable(entry.name).c_str());
    } else {
      Print("%-6s %12ju  %s\n", entry.cached ? "cache" : "disk", entry.size, Printable(entry.name).c_str());
    }
  }
  return 0;
}

// The platform's manager lists the overlay's files one a line; so does this,
// with the figures a script needs first.
int Overlay(StateFolder& state, const Arguments& args) {
  char only = 0;
  if (args.count == 1) {
    const std::optional<char> volume = ParseVolume(args.Operand(0));
    if (!volume) return Fail(state, kInvalidName);
    only = *volume;
  }
  MachineView view;
  if (const Outcome taken = Machine(state).View(view); !taken.ok()) return Fail(state, taken);
  Print("%12s %8s  %s\n", "overlay (B)", "handles", "file");
  std::uintmax_t files = 0, bytes = 0;
  for (const CachedFile& file : view.files) {
    if (only != 0 && file.name[0] != only) continue;
    Print("%12ju %8d  %s\n", file.size, 0, Printable(file.name).c_str());
    ++files;
    bytes += file.size;
  }
  Print("%ju file%s, %ju bytes of file data\n", files, files == 1 ? "" : "s", bytes);
  const MemoryUsage& memory = view.memory;
  Print("overlay: %ju of %ju bytes used (%ju of directory structure, %ju of file data), %ju left\n",
              memory.used.Total(), memory.current_threshold, memory.used.dir_structure, memory.used.file_data,
              memory.Left());
  return 0;
}

}  // namespace wfsim
