// Names of a volume's files as the host keeps them. NTFS allows a name 255
// 16-bit units; a Linux host, and wine on one, 255 bytes, which 86 CJK
// characters already pass. A name longer than that in UTF-8 is kept under a
// made name, "~fbwf~" and a hash of its folded form, with the real name in
// a record beside it ("<made name>.name"). A name that itself starts with
// "~fbwf~", in any case, is kept the same way, so a made name never meets a
// real one. Two names whose hashes collide take "~1", "~2"... after it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wfsim/state/os.h"

namespace wfsim {

fs::path PathFromUtf8(const std::string& name);

bool NeedsMadeName(std::string_view utf8_name);

// The host entry of `folder` that holds `name`, found as the filter finds
// names (case-insensitively), or where it goes when there is none. `spelling`
// is the existing entry's own name, else `name`. nullopt when every made name
// the name could take is another's.
std::optional<fs::path> HostEntry(const fs::path& folder, const std::string& name, std::string& spelling);

// The name a program sees for the host entry `path`; nullopt for a record,
// which no program sees.
std::optional<std::string> RealName(const fs::path& path);

// The names a program sees on the way from `root` to `path`, joined by "\\";
// nullopt for a record.
std::optional<std::string> RealPath(const fs::path& root, const fs::path& path);

// Writes the record of the entry `path` for `name`, where the name needs one;
// before the entry is made, so an entry never lacks its record.
bool RecordName(const fs::path& scratch, const fs::path& path, const std::string& name);

// Removes the record of an entry that was removed.
void DropRecord(const fs::path& path);

}  // namespace wfsim
