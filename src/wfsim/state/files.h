// The names of the state folder's files and folders, listed once.
#pragma once

#include <string_view>

namespace wfsim::files {

inline constexpr std::string_view kConfig = "config";  // both sessions' settings, sealed
inline constexpr std::string_view kConfigNew = "config.new";
inline constexpr std::string_view kLock = "lock";  // the configuration's and the volumes' lock
inline constexpr std::string_view kFaults = "faults";  // the injected failures pending
inline constexpr std::string_view kFaultsNew = "faults.new";
inline constexpr std::string_view kJournal = "journal";  // the calls, a line each
inline constexpr std::string_view kJournalPrevious = "journal.1";
inline constexpr std::string_view kJournalIncomplete = "journal.incomplete";  // a line could not be kept
inline constexpr std::string_view kJournalLock = "journal.lock";
inline constexpr std::string_view kResetNew = "reset.new";  // a reset being made
inline constexpr std::string_view kResetReady = "reset.ready";  // a reset made, not yet in place
inline constexpr std::string_view kVolumes = "volumes";  // a folder a volume's disk
inline constexpr std::string_view kCache = "cache";  // "cache", then "cache.N" after the Nth reboot

}  // namespace wfsim::files
