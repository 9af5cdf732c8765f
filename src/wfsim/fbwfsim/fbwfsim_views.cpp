// fbwfsim show and ls: the simulated machine as a person or a script reads it.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "wfsim/fbwfsim/fbwfsim.h"
#include "wfsim/machine/machine.h"

namespace wfsim {

namespace {

// Everything show prints, read under one lock each.
struct Snapshot {
  Config config;
  std::vector<CachedFile> files;
  std::vector<Fault> faults;
};

Outcome TakeSnapshot(StateFolder& state, Snapshot& snapshot) {
  Outcome outcome = Machine(state).CachedFiles(snapshot.files);
  if (outcome.ok()) outcome = state.Faults(snapshot.faults);
  if (outcome.ok()) {
    outcome = state.Read(ParseScope::kAll, [&](const Config& config) {
      snapshot.config = config;
      return Outcome(kOk);
    });
  }
  return outcome;
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

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
  std::printf("%s\n", heading);
  if (session.exclusions.empty()) std::printf("  (none)\n");
  for (const Exclusion& e : session.exclusions) std::printf("  %c:%s\n", e.volume, e.path.c_str());
}

void PrintText(const StateFolder& state, const Snapshot& snapshot) {
  const SessionConfig& now = snapshot.config.current;
  const SessionConfig& next = snapshot.config.next;
  const Release& release = *snapshot.config.release;
  std::printf("release         %s (%s)\n", release.name, release.systems);
  std::printf("state folder    %s\n\n", state.dir().string().c_str());
  std::printf("%-16s%-16s%s\n", "", "current", "next");
  std::printf("%-16s%-16s%s\n", "filter", OnOff(now.filter), OnOff(next.filter));
  std::printf("%-16s%-16s%s\n", "compression", OnOff(now.compression), OnOff(next.compression));
  std::printf("%-16s%-16s%s\n", "preallocation", OnOff(now.preallocation), OnOff(next.preallocation));
  std::printf("%-16s%-16u%u\n", "threshold (MB)", static_cast<unsigned>(now.threshold),
              static_cast<unsigned>(next.threshold));
  std::printf("%-16s%-16s%s\n\n", "protected", Volumes(now).c_str(), Volumes(next).c_str());
  PrintExclusions("exclusions in this session:", now);
  PrintExclusions("exclusions from the next session:", next);
  std::printf("files in the cache:\n");
  if (snapshot.files.empty()) std::printf("  (none)\n");
  for (const CachedFile& file : snapshot.files) std::printf("  %s (%ju bytes)\n", file.name.c_str(), file.size);
  for (const Fault& fault : snapshot.faults) {
    std::printf("injected: %s returns %u, %u more time(s)\n", fault.function.c_str(),
                static_cast<unsigned>(fault.code), static_cast<unsigned>(fault.count));
  }
}

std::string Drive(char volume) { return {volume, ':'}; }

nlohmann::json SessionJson(const SessionConfig& session) {
  nlohmann::json protected_volumes = nlohmann::json::array();
  for (char volume : session.protected_volumes) protected_volumes.push_back(Drive(volume));
  nlohmann::json exclusions = nlohmann::json::array();
  for (const Exclusion& e : session.exclusions) {
    exclusions.push_back({{"volume", Drive(e.volume)}, {"path", e.path}});
  }
  return {{"filter", session.filter},
          {"compression", session.compression},
          {"preallocation", session.preallocation},
          {"threshold_mb", session.threshold},
          {"protected", protected_volumes},
          {"exclusions", exclusions}};
}

void PrintJson(const StateFolder& state, const Snapshot& snapshot) {
  nlohmann::json cache = nlohmann::json::array();
  for (const CachedFile& file : snapshot.files) {
    const std::string_view name = file.name;  // "C:\path"
    cache.push_back({{"volume", std::string(name.substr(0, 2))},
                     {"path", std::string(name.substr(2))},
                     {"bytes", file.size}});
  }
  nlohmann::json faults = nlohmann::json::array();
  for (const Fault& fault : snapshot.faults) {
    faults.push_back({{"function", fault.function}, {"code", fault.code}, {"count", fault.count}});
  }
  const nlohmann::json document = {{"release", snapshot.config.release->name},
                                   {"state_folder", Utf8Of(state.dir())},
                                   {"current", SessionJson(snapshot.config.current)},
                                   {"next", SessionJson(snapshot.config.next)},
                                   {"cache", cache},
                                   {"faults", faults}};
  // A state folder's name need not be UTF-8 on Linux; it must not stop the rest.
  std::printf("%s\n", document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace

int Show(StateFolder& state, const Arguments& args) {
  const bool json = args.count == 1;
  if (json && std::string_view(args.typed[0]) != "--json") return -1;
  Snapshot snapshot;
  if (const Outcome taken = TakeSnapshot(state, snapshot); !taken.ok()) return Fail(state, taken);
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
  if (!outcome.ok()) return Fail(state, outcome);
  for (const ListedEntry& entry : entries) {
    if (entry.folder) {
      std::printf("%-6s %12s  %s\\\n", entry.cached ? "cache" : "disk", "-", entry.name.c_str());
    } else {
      std::printf("%-6s %12ju  %s\n", entry.cached ? "cache" : "disk", entry.size, entry.name.c_str());
    }
  }
  return 0;
}

}  // namespace wfsim
