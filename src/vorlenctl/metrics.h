// The filter's figures in Prometheus's text format, for `vorlenctl metrics`
// and for the file the guard keeps for a textfile collector.
#pragma once

#include <string>
#include <string_view>

#include "vorlenctl/device.h"
#include "vorlenctl/guard_record.h"

namespace ctl {

// What node_exporter's and windows_exporter's textfile collectors read.
inline constexpr const char* kMetricsFile = "vorlen.prom";

// `reading` is null when the library can't be loaded or a call failed:
// vorlen_up is then 0 and the figures it would have given are left out.
// `guard` is null where no guard keeps a state; its figures are labelled
// with its `history`.
std::string MetricsText(const Reading* reading, const GuardState* guard, const std::string& history);

// A label's value as the text format writes it: \\, \" and \n.
std::string LabelValue(std::string_view text);

}  // namespace ctl
