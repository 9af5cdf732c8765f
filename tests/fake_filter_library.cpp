#include "fake_filter_library.h"

#include <algorithm>
#include <cstring>

#include "text/unicode.h"

namespace {

std::string Utf8(const WfChar* units) { return units == nullptr ? "(null)" : *text::ToUtf8(units); }

bool SameName(const std::string& a, const std::string& b) { return text::FoldCaseUtf8(a) == text::FoldCaseUtf8(b); }

WfUlong Bytes(WfUlong megabytes) { return megabytes >= 4096 ? 0xFFFFFFFFu : megabytes << 20; }

}  // namespace

WfStatus FakeFilterLibrary::Take(WfFunction function, const std::string& arguments) {
  calls.push_back(std::string(NameOf(function)) + (arguments.empty() ? "" : " " + arguments));
  if (missing.count(function)) return kWfProcedureNotFound;
  std::deque<WfStatus>& codes = failures[function];
  if (codes.empty()) return kWfOk;
  const WfStatus code = codes.front();
  codes.pop_front();
  return code;
}

WfStatus FakeFilterLibrary::Switch(WfFunction function, bool FakeSession::*member, bool on) {
  const WfStatus code = Take(function);
  if (code != kWfOk) return code;
  if (function != WfFunction::FbwfEnableFilter && function != WfFunction::FbwfDisableFilter && !next.filter) {
    return kWfInvalidFunction;
  }
  next.*member = on;
  return kWfOk;
}

WfStatus FakeFilterLibrary::Query(WfFunction function, bool FakeSession::*member, WfUlong* current_out,
                                  WfUlong* next_out) {
  const WfStatus code = Take(function);
  if (code != kWfOk) return code;
  *current_out = current.*member;
  *next_out = next.*member;
  return kWfOk;
}

WfStatus FakeFilterLibrary::CopyList(const std::vector<std::string>& names, void* buffer, WfUlong* size) {
  std::u16string units;
  for (const std::string& name : names) units += *text::FromUtf8(name) + u'\0';
  units += u'\0';
  const WfUlong needed = static_cast<WfUlong>(units.size() * sizeof(WfChar));
  if (*size < needed) {
    *size = needed;
    return kWfMoreData;
  }
  std::memcpy(buffer, units.data(), needed);
  *size = needed;
  return kWfOk;
}

WfStatus FakeFilterLibrary::FbwfEnableFilter() { return Switch(WfFunction::FbwfEnableFilter, &FakeSession::filter, true); }
WfStatus FakeFilterLibrary::FbwfDisableFilter() {
  return Switch(WfFunction::FbwfDisableFilter, &FakeSession::filter, false);
}
WfStatus FakeFilterLibrary::FbwfEnableCompression() {
  return Switch(WfFunction::FbwfEnableCompression, &FakeSession::compression, true);
}
WfStatus FakeFilterLibrary::FbwfDisableCompression() {
  return Switch(WfFunction::FbwfDisableCompression, &FakeSession::compression, false);
}
WfStatus FakeFilterLibrary::FbwfEnableCachePreAllocation() {
  return Switch(WfFunction::FbwfEnableCachePreAllocation, &FakeSession::preallocation, true);
}
WfStatus FakeFilterLibrary::FbwfDisableCachePreAllocation() {
  return Switch(WfFunction::FbwfDisableCachePreAllocation, &FakeSession::preallocation, false);
}
WfStatus FakeFilterLibrary::FbwfIsFilterEnabled(WfUlong* current_out, WfUlong* next_out) {
  return Query(WfFunction::FbwfIsFilterEnabled, &FakeSession::filter, current_out, next_out);
}
WfStatus FakeFilterLibrary::FbwfIsCompressionEnabled(WfUlong* current_out, WfUlong* next_out) {
  return Query(WfFunction::FbwfIsCompressionEnabled, &FakeSession::compression, current_out, next_out);
}
WfStatus FakeFilterLibrary::FbwfIsCachePreAllocationEnabled(WfUlong* current_out, WfUlong* next_out) {
  return Query(WfFunction::FbwfIsCachePreAllocationEnabled, &FakeSession::preallocation, current_out, next_out);
}
WfStatus FakeFilterLibrary::FbwfIsVolumeProtected(const WfChar* volume, WfUlong* current_out, WfUlong* next_out) {
  const WfStatus code = Take(WfFunction::FbwfIsVolumeProtected, Utf8(volume));
  if (code != kWfOk) return code;
  *current_out = current.protected_volumes.count(Utf8(volume));
  *next_out = next.protected_volumes.count(Utf8(volume));
  return kWfOk;
}
// Protecting a volume again brings back the list it kept.
WfStatus FakeFilterLibrary::FbwfProtectVolume(const WfChar* volume) {
  const WfStatus code = Take(WfFunction::FbwfProtectVolume, Utf8(volume));
  if (code != kWfOk) return code;
  if (!next.filter) return kWfInvalidFunction;
  if (!next.protected_volumes.count(Utf8(volume))) next.protected_volumes[Utf8(volume)] = kept[Utf8(volume)];
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfUnprotectVolume(const WfChar* volume, WfUlong flag) {
  const WfStatus code = Take(WfFunction::FbwfUnprotectVolume, Utf8(volume) + " " + std::to_string(flag));
  if (code != kWfOk) return code;
  if (!next.filter) return kWfInvalidFunction;
  const auto found = next.protected_volumes.find(Utf8(volume));
  if (found == next.protected_volumes.end()) return kWfInvalidDrive;
  kept[Utf8(volume)] = flag != 0 ? std::vector<std::string>() : found->second;
  next.protected_volumes.erase(found);
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfSetCacheThreshold(WfUlong megabytes) {
  const WfStatus code = Take(WfFunction::FbwfSetCacheThreshold, std::to_string(megabytes));
  if (code != kWfOk) return code;
  if (!next.filter) return kWfInvalidFunction;
  if (megabytes < 16 || megabytes > 131072) return kWfInvalidParameter;
  next.threshold_mb = megabytes;
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  const WfStatus code = Take(WfFunction::FbwfAddExclusion, Utf8(volume) + " " + Utf8(path));
  if (code != kWfOk) return code;
  if (!next.filter) return kWfInvalidFunction;
  const auto found = next.protected_volumes.find(Utf8(volume));
  if (found == next.protected_volumes.end()) return kWfInvalidDrive;
  std::vector<std::string>& list = found->second;
  if (std::none_of(list.begin(), list.end(), [&](const std::string& p) { return SameName(p, Utf8(path)); })) {
    list.push_back(Utf8(path));
  }
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  const WfStatus code = Take(WfFunction::FbwfRemoveExclusion, Utf8(volume) + " " + Utf8(path));
  if (code != kWfOk) return code;
  if (!next.filter) return kWfInvalidFunction;
  const auto found = next.protected_volumes.find(Utf8(volume));
  if (found == next.protected_volumes.end()) return kWfInvalidDrive;
  const auto same = [&](const std::string& p) { return SameName(p, Utf8(path)); };
  return std::erase_if(found->second, same) > 0 ? kWfOk : kWfFileNotFound;
}
WfStatus FakeFilterLibrary::FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return Take(WfFunction::FbwfCommitFile, Utf8(volume) + " " + Utf8(path));
}
WfStatus FakeFilterLibrary::FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return Take(WfFunction::FbwfRestoreFile, Utf8(volume) + " " + Utf8(path));
}
WfStatus FakeFilterLibrary::FbwfGetVolumeList(WfUlong session, void* buffer, WfUlong* size) {
  const WfStatus code = Take(WfFunction::FbwfGetVolumeList, std::to_string(session));
  if (code != kWfOk) return code;
  std::vector<std::string> names;
  for (const auto& [volume, list] : (session != 0 ? current : next).protected_volumes) names.push_back(volume);
  return CopyList(names, buffer, size);
}
WfStatus FakeFilterLibrary::FbwfGetExclusionList(const WfChar* volume, WfUlong session, void* buffer, WfUlong* size) {
  const WfStatus code = Take(WfFunction::FbwfGetExclusionList, Utf8(volume) + " " + std::to_string(session));
  if (code != kWfOk) return code;
  const FakeSession& read = session != 0 ? current : next;
  const auto found = read.protected_volumes.find(Utf8(volume));
  if (found == read.protected_volumes.end()) return kWfInvalidDrive;
  return CopyList(found->second, buffer, size);
}
WfStatus FakeFilterLibrary::FbwfGetMemoryUsage(FbwfMemoryUsage* usage) {
  const WfStatus code = Take(WfFunction::FbwfGetMemoryUsage);
  if (code != kWfOk) return code;
  *usage = {Bytes(current.threshold_mb), Bytes(next.threshold_mb), 0, used_bytes};
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfCacheThresholdNotification(WfUlong megabytes, void*) {
  return Take(WfFunction::FbwfCacheThresholdNotification, std::to_string(megabytes));
}
WfStatus FakeFilterLibrary::FbwfInitializeNotifications() { return Take(WfFunction::FbwfInitializeNotifications); }
WfStatus FakeFilterLibrary::FbwfUninitializeNotifications() { return Take(WfFunction::FbwfUninitializeNotifications); }
WfStatus FakeFilterLibrary::FbwfFindFirst(const WfChar* volume, FbwfCacheDetail*, WfUlong*) {
  const WfStatus code = Take(WfFunction::FbwfFindFirst, Utf8(volume));
  return code != kWfOk ? code : kWfFileNotFound;  // nothing cached
}
WfStatus FakeFilterLibrary::FbwfFindNext(FbwfCacheDetail*, WfUlong*) {
  const WfStatus code = Take(WfFunction::FbwfFindNext);
  return code != kWfOk ? code : kWfNoMoreFiles;
}
WfStatus FakeFilterLibrary::FbwfFindClose() { return Take(WfFunction::FbwfFindClose); }
WfStatus FakeFilterLibrary::FbwfGetSizeDisplay(WfUlong* current_out, WfUlong* next_out) {
  const WfStatus code = Take(WfFunction::FbwfGetSizeDisplay);
  if (code != kWfOk) return code;
  if (!current.filter) return kWfInvalidFunction;
  *current_out = *next_out = 0;
  return kWfOk;
}
WfStatus FakeFilterLibrary::FbwfSetSizeDisplay(WfUlong display) {
  return Take(WfFunction::FbwfSetSizeDisplay, std::to_string(display));
}
WfStatus FakeFilterLibrary::FbwfGetActualSize(const WfChar* volume, FbwfFSInfo*) {
  return Take(WfFunction::FbwfGetActualSize, Utf8(volume));
}
WfStatus FakeFilterLibrary::FbwfGetVirtualSize(const WfChar* volume, FbwfFSInfo*) {
  return Take(WfFunction::FbwfGetVirtualSize, Utf8(volume));
}
