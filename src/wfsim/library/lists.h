// The lists the library hands out (FbwfGetVolumeList, FbwfGetExclusionList).
#pragma once

#include <string>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/base/codes.h"

namespace wfsim {

// A list as the filter's library gives it: each name ending in a null, then
// one more null. A buffer too small gets the size it needs and 234.
Outcome CopyList(const std::vector<std::u16string>& names, void* buffer, WfUlong* size);

}  // namespace wfsim
