// fbwfsim show, overlay and ls: the simulated machine as a person or a script
// reads it.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/writer.h"
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

using json::JsonWriter;

// The exclusion lists by volume: of the protected volumes (`kept` false), as
// the library lists them, each protected volume's even when empty, or of the
// others, kept for when they are protected again (`kept` true).
void WriteExclusions(JsonWriter& out, const SessionConfig& session, bool kept) {
  std::string volumes;  // in order, each once
  if (!kept) volumes = session.protected_volumes;
  for (const Exclusion& e : session.exclusions) {
    if (session.Lists(e.volume) != kept && volumes.find(e.volume) == std::string::npos) volumes += e.volume;
  }
  std::sort(volumes.begin(), volumes.end());
  out.Open('{');
  for (char volume : volumes) {
    out.Key(Drive(volume)).Open('[');
    for (const Exclusion& e : session.exclusions) {
      if (e.volume == volume) out.String(e.path);
    }
    out.Close();
  }
  out.Close();
}

// A session as vorlenctl prints and reads one, so that a session shown here
// is a desired state that changes nothing.
void WriteSession(JsonWriter& out, const SessionConfig& session) {
  out.Open('{');
  out.Key("filter").Bool(session.filter);
  out.Key("compression").Bool(session.compression);
  out.Key("preallocation").Bool(session.preallocation);
  out.Key("threshold_mb").Number(session.threshold);
  out.Key("protected").Open('[');
  for (char volume : session.protected_volumes) out.String(Drive(volume));
  out.Close();
  WriteExclusions(out.Key("exclusions"), session, false);
  out.Close();
}

void WriteMachine(JsonWriter& out, const MachineView& snapshot) {
  out.Key("volumes").Open('[');
  for (const VolumeFigures& volume : snapshot.volumes) {
    out.Open('{');
    out.Key("volume").String(Drive(volume.letter));
    out.Key("capacity").Number(volume.capacity);
    out.Key("actual_used").Number(volume.actual_used);
    out.Key("virtual_used").Number(volume.virtual_used);
    out.Close();
  }
  out.Close();
  out.Key("cache").Open('[');
  for (const CachedFile& file : snapshot.files) {
    const std::string_view name = file.name;  // "C:\path"
    out.Open('{');
    out.Key("volume").String(name.substr(0, 2));
    out.Key("path").String(name.substr(2));
    out.Key("bytes").Number(file.size);
    // A name that is not valid Unicode shows U+FFFD in "path"; this names it.
    if (!file.hex.empty()) out.Key("path_hex").String(file.hex);
    out.Close();
  }
  out.Close();
  out.Key("faults").Open('[');
  for (const Fault& fault : snapshot.faults) {
    out.Open('{');
    out.Key("function").String(fault.function);
    out.Key("code").Number(fault.code);
    out.Key("count").Number(fault.count);
    out.Close();
  }
  out.Close();
}

// A state folder's name need not be UTF-8 on Linux: the writer shows its
// other bytes as U+FFFD.
void PrintJson(const StateFolder& state, const MachineView& snapshot) {
  const Config& config = snapshot.config;
  const MemoryUsage& memory = snapshot.memory;
  JsonWriter out;
  out.Open('{');
  out.Key("release").String(config.release->name);
  out.Key("state_folder").String(Utf8Of(state.dir()));
  WriteSession(out.Key("current"), config.current);
  WriteSession(out.Key("next"), config.next);
  out.Key("kept_exclusions").Open('{');
  WriteExclusions(out.Key("current"), config.current, true);
  WriteExclusions(out.Key("next"), config.next, true);
  out.Close();
  out.Key("size_display").Open('{');
  out.Key("current").String(SizeDisplay(config.current));
  out.Key("next").String(SizeDisplay(config.next));
  out.Close();
  out.Key("memory").Open('{');
  out.Key("current_threshold").Number(memory.current_threshold);
  out.Key("next_threshold").Number(memory.next_threshold);
  out.Key("dir_structure").Number(memory.used.dir_structure);
  out.Key("file_data").Number(memory.used.file_data);
  out.Close();
  WriteMachine(out, snapshot);
  out.Close();
  Print("%s\n", out.text().c_str());
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
