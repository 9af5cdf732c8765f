// The one cache search a process has open (FbwfFindFirst, FbwfFindNext,
// FbwfFindClose). Calls may come from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wfapi/wfapi.h"

namespace wfsim {

struct SearchEntry {
  std::u16string name;  // volume-relative: "\dir\file"
  std::uint64_t size;
};

// One implicit search a process: FbwfFindFirst starts it afresh.
class CacheSearch {
 public:
  static CacheSearch& OfProcess();

  void Start(std::vector<SearchEntry> entries);
  bool IsOpen() const;
  bool Close();  // false when none was open
  // Fills `detail` with the next entry and moves past it; 234 (the size
  // needed in `size`) leaves it for the next call; 18 at the end, until closed.
  WfStatus Next(FbwfCacheDetail* detail, WfUlong* size);
};

}  // namespace wfsim
