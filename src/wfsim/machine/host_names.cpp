#include "wfsim/machine/host_names.h"

#include <cstdint>

#include "wfsim/base/text.h"

namespace wfsim {

namespace {

constexpr std::string_view kMadePrefix = "~fbwf~";
constexpr std::string_view kRecordSuffix = ".name";
constexpr std::size_t kHostNameBytes = 255;
// Far more than names whose hashes collide in one folder; a folder a hostile
// program filled with more only has its next name refused.
constexpr unsigned kProbes = 64;

bool StartsMade(std::string_view name) {
  return name.size() >= kMadePrefix.size() && SameAscii(name.substr(0, kMadePrefix.size()), kMadePrefix);
}

bool EndsAsRecord(std::string_view name) {
  return name.size() > kRecordSuffix.size() && name.substr(name.size() - kRecordSuffix.size()) == kRecordSuffix;
}

// FNV-1a over the folded form's units: the same for every spelling.
std::string MadeName(const std::u16string& folded, unsigned probe) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char16_t unit : folded) {
    for (const unsigned byte : {unsigned(unit & 0xff), unsigned(unit >> 8)}) {
      hash = (hash ^ byte) * 0x100000001b3u;
    }
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name(kMadePrefix);
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xf];
  if (probe > 0) name += '~' + std::to_string(probe);
  return name;
}

fs::path RecordOf(const fs::path& path) {
  fs::path record = path;
  record += PathFromUtf8(std::string(kRecordSuffix));
  return record;
}

std::optional<std::string> RecordedName(const fs::path& path) {
  std::string name;
  if (ReadRegularFile(RecordOf(path), 4 * kHostNameBytes, name) != ReadOutcome::kRead) return std::nullopt;
  if (!NeedsMadeName(name) || !FromUtf8(name)) return std::nullopt;
  return name;
}

// The entry of `folder` whose name equals `name` but for case, if any.
std::optional<std::string> MatchCase(const fs::path& folder, const std::u16string& key) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = Utf8Of(it->path().filename());
    const std::optional<std::u16string> wide = FromUtf8(entry);
    if (wide && FoldCase(*wide) == key) return entry;
  }
  return std::nullopt;
}

std::optional<fs::path> ShortEntry(const fs::path& folder, const std::string& name, const std::u16string& key,
                    std::string& spelling) {
  spelling = name;
  if (Inspect(folder / PathFromUtf8(name)).type == EntryType::kMissing) {
    if (std::optional<std::string> own = MatchCase(folder, key)) spelling = std::move(*own);
  }
  fs::path path = folder / PathFromUtf8(spelling);
  if (Inspect(path).type != EntryType::kMissing) spelling = OwnName(path);
  return path;
}

}  // namespace

fs::path PathFromUtf8(const std::string& name) {
  return fs::path(std::u8string(name.begin(), name.end()));
}

bool NeedsMadeName(std::string_view utf8_name) {
  return utf8_name.size() > kHostNameBytes || StartsMade(utf8_name);
}

std::optional<fs::path> HostEntry(const fs::path& folder, const std::string& name, std::string& spelling) {
  const std::optional<std::u16string> wide = FromUtf8(name);
  const std::u16string key = wide ? FoldCase(*wide) : std::u16string();
  if (!wide || !NeedsMadeName(name)) return ShortEntry(folder, name, key, spelling);
  spelling = name;
  for (unsigned probe = 0; probe < kProbes; ++probe) {
    const fs::path path = folder / PathFromUtf8(MadeName(key, probe));
    if (Inspect(path).type == EntryType::kMissing) return path;
    const std::optional<std::string> recorded = RecordedName(path);
    if (recorded && FoldCase(*FromUtf8(*recorded)) == key) {
      spelling = *recorded;
      return path;
    }
  }
  return std::nullopt;
}

std::optional<std::string> RealName(const fs::path& path) {
  std::string name = Utf8Of(path.filename());
  if (!StartsMade(name)) return name;
  if (EndsAsRecord(name)) return std::nullopt;
  // An entry whose record is lost shows as it is kept.
  return RecordedName(path).value_or(std::move(name));
}

std::optional<std::string> RealPath(const fs::path& root, const fs::path& path) {
  std::string joined;
  fs::path walked = root;
  for (const fs::path& part : path.lexically_relative(root)) {
    walked /= part;
    const std::optional<std::string> name = RealName(walked);
    if (!name) return std::nullopt;
    if (!joined.empty()) joined += '\\';
    joined += *name;
  }
  return joined;
}

bool RecordName(const fs::path& scratch, const fs::path& path, const std::string& name) {
  if (!NeedsMadeName(name) || RecordedName(path) == name) return true;
  return ReplaceDurably(scratch, RecordOf(path), name);
}

void DropRecord(const fs::path& path) {
  if (!StartsMade(Utf8Of(path.filename()))) return;
  std::error_code ignored;
  fs::remove(RecordOf(path), ignored);
}

}  // namespace wfsim
