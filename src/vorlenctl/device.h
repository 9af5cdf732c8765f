// The filter as the device's library tells it, and changes made through it.
// A function the library lacks is named and left out; any other failure
// stops the reading, naming the function and its code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vorlenctl/plan.h"
#include "vorlenctl/session.h"
#include "wfapi/filter_library.h"
#include "wfapi/wfapi.h"

namespace ctl {

struct Failure {
  WfFunction function;
  WfStatus code;
};

struct Reading {
  Session current;
  Session next;
  std::optional<FbwfMemoryUsage> memory;
  // Virtual (1) or actual (0) sizes; nullopt while the filter is off now.
  std::optional<std::pair<WfUlong, WfUlong>> size_display;
  std::vector<std::string> unavailable;  // functions the library lacks
};
std::optional<Failure> ReadDevice(FilterLibrary& library, Reading& reading);

// The filter's state now and the overlay's figures, for monitoring.
struct Overlay {
  bool filter_now = false;
  FbwfMemoryUsage memory{};
};
std::optional<Failure> ReadOverlay(FilterLibrary& library, Overlay& overlay);

struct CachedFile {
  std::string volume;
  std::string path;
  std::uint64_t bytes;
};
// The files cached on `volume` now, from a cache search.
std::optional<Failure> SearchCache(FilterLibrary& library, const std::string& volume,
                                   std::vector<CachedFile>& files);

WfStatus Call(FilterLibrary& library, const PlannedCall& call);

}  // namespace ctl
