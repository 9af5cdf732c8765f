#include "wfsim/library/cache_search.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "os/threads.h"
#include "wfsim/base/codes.h"
#include "wfsim/state/os.h"

namespace wfsim {

namespace {

// Never destroyed: a thread of the program may still search while the process exits.
struct SearchState {
  os::Mutex mutex;
  bool open = false;
  std::vector<SearchEntry> entries;
  std::size_t next = 0;
};

SearchState& Search() {
  static SearchState* state = new SearchState;
  return *state;
}

}  // namespace

CacheSearch& CacheSearch::OfProcess() {
  static CacheSearch search;
  return search;
}

void CacheSearch::Start(std::vector<SearchEntry> entries) {
  SearchState& s = Search();
  const os::MutexLock lock(s.mutex);
  s.open = true;
  s.entries = std::move(entries);
  s.next = 0;
}

bool CacheSearch::IsOpen() const {
  SearchState& s = Search();
  const os::MutexLock lock(s.mutex);
  return s.open;
}

bool CacheSearch::Close() {
  SearchState& s = Search();
  const os::MutexLock lock(s.mutex);
  const bool was_open = s.open;
  s.open = false;
  s.entries.clear();
  s.next = 0;
  return was_open;
}

WfStatus CacheSearch::Next(FbwfCacheDetail* detail, WfUlong* size) {
  SearchState& s = Search();
  const os::MutexLock lock(s.mutex);
  if (!s.open) return kInvalidFunction;
  if (s.next >= s.entries.size()) return kNoMoreFiles;
  const SearchEntry& entry = s.entries[s.next];
  const std::size_t name_bytes = entry.name.size() * sizeof(WfChar);
  const auto needed = static_cast<WfUlong>(kCacheDetailNameOffset + name_bytes);
  const WfUlong given = *size;
  *size = needed;
  if (given < needed) return kMoreData;
  if (detail == nullptr) return kInvalidParameter;
  detail->cacheSize = static_cast<WfUlong>(std::min<std::uint64_t>(entry.size, 0xFFFFFFFFu));
  detail->openHandleCount = 0;
  detail->fileNameLength = static_cast<WfUlong>(name_bytes);
  std::memcpy(reinterpret_cast<char*>(detail) + kCacheDetailNameOffset, entry.name.data(), name_bytes);
  ++s.next;
  return kOk;
}

}  // namespace wfsim
