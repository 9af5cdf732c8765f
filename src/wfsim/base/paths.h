// Paths as the simulated machine compares and covers them; the rules of
// names are the filter's own (wfapi/names.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wfapi/names.h"

namespace wfsim {

using wfapi::IsValidPath;
using wfapi::ParsePath;
using wfapi::ParseVolume;
using wfapi::PathProblem;

// The same path written back: "\" before each name.
std::string JoinPath(const std::vector<std::string>& names);

// The form paths are compared by, case folded.
std::string PathKey(std::string_view utf8_path);

// Whether an exclusion of `excluded` covers `path`: the path itself and
// everything below it. Both are PathKey forms.
bool Covers(std::string_view excluded, std::string_view path);

}  // namespace wfsim
