// What the Windows host's files, guard and service share.
#pragma once

#include <optional>
#include <string>

namespace ctl::host {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::optional<std::wstring> Environment(const wchar_t* name);

}  // namespace ctl::host
