#include "wfsim/state.h"

#include <algorithm>
#include <charconv>

#include "wfsim/codes.h"

namespace wfsim {

namespace {

// Far beyond any real exclusion list; a bigger file is not a configuration.
constexpr std::size_t kConfigLimit = 16u << 20;
constexpr std::size_t kFaultsLimit = 1u << 20;

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// A read of the settings needs nothing past the first exclusion list's header.
bool HasSettings(std::string_view text, std::size_t fresh) {
  constexpr std::string_view kHeaders[] = {"\n[current exclusions]", "\n[next exclusions]"};
  for (std::string_view header : kHeaders) {
    // A header may straddle the previous read.
    const std::size_t from = fresh > header.size() ? fresh - header.size() : 0;
    if (text.find(header, from) != std::string_view::npos) return true;
  }
  return false;
}

std::optional<FileLock> Lock(const fs::path& dir, FileLock::Mode mode) {
  return FileLock::Acquire(dir / "lock", mode);
}

std::vector<Fault> ParseFaults(std::string_view text) {
  std::vector<Fault> faults;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const auto first = line.find(' ');
    const auto second = line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) continue;
    Fault fault{std::string(line.substr(0, first)), 0, 0};
    const char* code = line.data() + first + 1;
    const char* count = line.data() + second + 1;
    if (std::from_chars(code, line.data() + second, fault.code).ec != std::errc() ||
        std::from_chars(count, line.data() + line.size(), fault.count).ec != std::errc() ||
        fault.count == 0) {
      continue;
    }
    faults.push_back(std::move(fault));
  }
  return faults;
}

}  // namespace

bool StateFolder::VolumeExists(char volume) const {
  std::error_code ec;
  return fs::is_directory(VolumeRoot(volume), ec);
}

WfStatus StateFolder::Prepare() {
  if (Exists(dir_ / "config")) return kOk;
  std::error_code ec;
  fs::create_directories(dir_, ec);
  if (ec && !fs::is_directory(dir_)) return kAccessDenied;
  const auto lock = Lock(dir_, FileLock::Mode::kExclusive);
  if (!lock) return kAccessDenied;
  if (Exists(dir_ / "config")) return kOk;  // another process was first
  if (!Exists(dir_ / "volumes")) {
    for (char volume : {'C', 'D'}) {
      fs::create_directories(VolumeRoot(volume), ec);
      if (ec) return kAccessDenied;
    }
  }
  if (!ReplaceDurably(dir_ / "config.new", dir_ / "config", FormatConfig(Config{}))) {
    return kAccessDenied;
  }
  return kOk;
}

WfStatus StateFolder::Load(ParseScope scope, Config& config) const {
  std::string text;
  bool too_large = false;
  if (!ReadRegularFile(dir_ / "config", kConfigLimit, text, too_large,
                       scope == ParseScope::kSettings ? HasSettings : nullptr)) {
    problem_ = too_large ? "config is too large to be a configuration"
                         : "config can't be read as a regular file";
    return too_large ? kFileCorrupt : kAccessDenied;
  }
  ParseError error;
  if (!ParseConfig(text, scope, config, error)) {
    problem_ = "config, line " + std::to_string(error.line) + ": " + error.what;
    return kFileCorrupt;
  }
  return kOk;
}

WfStatus StateFolder::Read(ParseScope scope, const std::function<WfStatus(const Config&)>& body,
                           FileLock::Mode mode) const {
  const auto lock = Lock(dir_, mode);
  if (!lock) return kAccessDenied;
  Config config;
  if (const WfStatus status = Load(scope, config); status != kOk) return status;
  return body(config);
}

WfStatus StateFolder::Update(const std::function<WfStatus(Config&)>& body) {
  const auto lock = Lock(dir_, FileLock::Mode::kExclusive);
  if (!lock) return kAccessDenied;
  Config before;
  if (const WfStatus status = Load(ParseScope::kAll, before); status != kOk) return status;
  Config after = before;
  if (const WfStatus status = body(after); status != kOk) return status;
  if (after == before) return kOk;
  return ReplaceDurably(dir_ / "config.new", dir_ / "config", FormatConfig(after)) ? kOk
                                                                                    : kAccessDenied;
}

bool StateFolder::TakeFault(std::string_view function, WfStatus& code) {
  if (!Exists(dir_ / "faults")) return false;
  const auto lock = Lock(dir_, FileLock::Mode::kExclusive);
  if (!lock) return false;
  std::vector<Fault> faults = Faults();
  const auto found = std::find_if(faults.begin(), faults.end(),
                                  [&](const Fault& f) { return f.function == function; });
  if (found == faults.end()) return false;
  code = found->code;
  if (--found->count == 0) faults.erase(found);
  WriteFaults(faults);
  return true;
}

WfStatus StateFolder::AddFault(const Fault& fault) {
  const auto lock = Lock(dir_, FileLock::Mode::kExclusive);
  if (!lock) return kAccessDenied;
  std::vector<Fault> faults = Faults();
  std::erase_if(faults, [&](const Fault& f) { return f.function == fault.function; });
  faults.push_back(fault);
  return WriteFaults(faults) ? kOk : kAccessDenied;
}

std::vector<Fault> StateFolder::Faults() const {
  std::string text;
  bool too_large = false;
  if (!ReadRegularFile(dir_ / "faults", kFaultsLimit, text, too_large)) return {};
  return ParseFaults(text);
}

bool StateFolder::WriteFaults(const std::vector<Fault>& faults) {
  std::error_code ec;
  if (faults.empty()) return fs::remove(dir_ / "faults", ec) || !ec;
  std::string text;
  for (const Fault& f : faults) {
    text += f.function + ' ' + std::to_string(f.code) + ' ' + std::to_string(f.count) + '\n';
  }
  return ReplaceDurably(dir_ / "faults.new", dir_ / "faults", text);
}

}  // namespace wfsim
