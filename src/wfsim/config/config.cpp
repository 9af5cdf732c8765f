#include "wfsim/config/config.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "wfsim/base/paths.h"
#include "wfsim/base/text.h"
#include "wfsim/config/sealed_config.h"

namespace wfsim {

namespace {

enum class Section { kNone, kMachine, kCurrent, kNext, kCurrentExclusions, kNextExclusions };

// By hand: find_first_not_of looks each character up in the set with memchr,
// which every call of the library pays on every line of the configuration.
std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SectionNamed(std::string_view header, Section& section) {
  static constexpr std::pair<std::string_view, Section> kSections[] = {
      {"[machine]", Section::kMachine},
      {"[current]", Section::kCurrent},
      {"[next]", Section::kNext},
      {"[current exclusions]", Section::kCurrentExclusions},
      {"[next exclusions]", Section::kNextExclusions},
  };
  for (const auto& [name, value] : kSections) {
    if (header == name) {
      section = value;
      return true;
    }
  }
  return false;
}

bool ParseSwitch(std::string_view value, bool& out) {
  if (value != "on" && value != "off") return false;
  out = value == "on";
  return true;
}

// The release's range is checked once the whole text is read.
bool ParseThreshold(std::string_view value, std::uint32_t& out) {
  if (value.empty() || value.size() > 6) return false;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
  return ec == std::errc() && end == value.data() + value.size();
}

bool ParseVolumes(std::string_view value, std::string& out) {
  out.clear();
  for (char c : value) {
    if (c == ' ' || c == '\t') continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z' || out.find(c) != std::string::npos) return false;
    out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  return true;
}

bool ParseSizeDisplay(std::string_view value, bool& virtual_size) {
  if (value != "actual" && value != "virtual") return false;
  virtual_size = value == "virtual";
  return true;
}

bool ParseBytes(std::string_view value, std::uint64_t& out) {
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
  return !value.empty() && ec == std::errc() && end == value.data() + value.size() && out > 0;
}

// The keys of [current] and [next], in the order of their bits in `seen`.
struct SessionKey {
  std::string_view name;
  bool (*parse)(std::string_view value, SessionConfig& session);
};
constexpr SessionKey kSessionKeys[] = {
    {"filter", [](std::string_view value, SessionConfig& s) { return ParseSwitch(value, s.filter); }},
    {"compression", [](std::string_view value, SessionConfig& s) { return ParseSwitch(value, s.compression); }},
    {"preallocation", [](std::string_view value, SessionConfig& s) { return ParseSwitch(value, s.preallocation); }},
    {"threshold", [](std::string_view value, SessionConfig& s) { return ParseThreshold(value, s.threshold); }},
    {"protected", [](std::string_view value, SessionConfig& s) { return ParseVolumes(value, s.protected_volumes); }},
    {"sizedisplay", [](std::string_view value, SessionConfig& s) { return ParseSizeDisplay(value, s.virtual_size); }},
};

class Parser {
 public:
  Parser(ParseScope scope, Config& config, ParseError& error)
      : scope_(scope), config_(config), error_(error) {}

  // Returns false to stop: at an error, or where the scope ends.
  bool Line(std::string_view line) {
    ++line_number_;
    line = Trim(line);
    if (line.empty() || line[0] == '#') return true;
    if (line[0] == '[') return Header(line);
    switch (section_) {
      case Section::kNone:
        return Fail("a setting before the first [section]");
      case Section::kMachine:
        return MachineSetting(line);
      case Section::kCurrent:
        return Setting(line, config_.current, seen_[0]);
      case Section::kNext:
        return Setting(line, config_.next, seen_[1]);
      case Section::kCurrentExclusions:
        return ExclusionLine(line, config_.current);
      case Section::kNextExclusions:
        return ExclusionLine(line, config_.next);
    }
    return Fail("unreadable line");
  }

  bool Finish() {
    if (!error_.what.empty()) return false;
    if ((seen_[0] & kRequiredKeys) != kRequiredKeys || (seen_[1] & kRequiredKeys) != kRequiredKeys) {
      error_.line = line_number_;
      error_.what = "[current] and [next] must each set filter, compression, preallocation, "
                    "threshold and protected";
      return false;
    }
    for (const std::uint32_t threshold : {config_.current.threshold, config_.next.threshold}) {
      if (!config_.release->Allows(threshold)) {
        error_.line = line_number_;
        error_.what = "threshold " + std::to_string(threshold) + " is outside release " +
                      config_.release->name + "'s range";
        return false;
      }
    }
    return true;
  }

  bool Stopped() const { return stopped_; }

 private:
  // sizedisplay came later: a configuration without it shows actual sizes.
  static constexpr unsigned kRequiredKeys = 0x1F;

  bool Fail(std::string what) {
    error_.line = line_number_;
    error_.what = std::move(what);
    return false;
  }

  bool Header(std::string_view line) {
    Section next;
    if (!SectionNamed(line, next)) return Fail("unknown section " + std::string(line));
    if (next <= section_) return Fail("section " + std::string(line) + " out of order or repeated");
    if (next == Section::kNext && section_ != Section::kCurrent) return Fail("[next] must follow [current]");
    if (next >= Section::kCurrentExclusions && section_ < Section::kNext) {
      return Fail("the exclusion lists must follow [current] and [next]");
    }
    section_ = next;
    if (section_ >= Section::kCurrentExclusions && scope_ == ParseScope::kSettings) {
      stopped_ = true;
      return false;
    }
    return true;
  }

  bool Setting(std::string_view line, SessionConfig& session, unsigned& seen) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected key = value");
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    const auto found = std::find_if(std::begin(kSessionKeys), std::end(kSessionKeys),
                                    [&](const SessionKey& known) { return known.name == key; });
    if (found == std::end(kSessionKeys)) return Fail("unknown key " + std::string(key));
    const unsigned bit = 1u << (found - std::begin(kSessionKeys));
    if ((seen & bit) != 0) return Fail("key " + std::string(key) + " set twice");
    seen |= bit;
    const bool ok = found->parse(value, session);
    return ok || Fail("bad value for " + std::string(key));
  }

  bool MachineSetting(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected key = value");
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    const bool release = key == "release";
    if (key == "capacity") return Capacities(value);
    if (!release && key != "session") return Fail("unknown key " + std::string(key));
    bool& seen = release ? release_seen_ : session_seen_;
    if (seen) return Fail("key " + std::string(key) + " set twice");
    seen = true;
    if (release) {
      config_.release = FindRelease(value);
      if (config_.release == nullptr) config_.release = &kReleases[0];
      return FindRelease(value) != nullptr || Fail("unknown release " + std::string(value));
    }
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), config_.session);
    return (!value.empty() && ec == std::errc() && end == value.data() + value.size()) ||
           Fail("bad value for session");
  }

  // "C:8589934592 D:2147483648"
  bool Capacities(std::string_view value) {
    if (capacity_seen_) return Fail("key capacity set twice");
    capacity_seen_ = true;
    while (!(value = Trim(value)).empty()) {
      const std::string_view item = value.substr(0, value.find_first_of(" \t"));
      value.remove_prefix(item.size());
      std::string letter;
      std::uint64_t bytes = 0;
      if (item.size() < 3 || item[1] != ':' || !ParseVolumes(item.substr(0, 1), letter) || letter.empty() ||
          !ParseBytes(item.substr(2), bytes) || config_.capacities.count(letter[0]) != 0) {
        return Fail("bad value for capacity: expected sizes such as C:8589934592 D:2147483648");
      }
      config_.capacities[letter[0]] = bytes;
    }
    return true;
  }

  bool ExclusionLine(std::string_view line, SessionConfig& session) {
    std::string letter;
    if (line.size() < 3 || (line[1] != ' ' && line[1] != '\t') ||
        !ParseVolumes(line.substr(0, 1), letter) || letter.empty()) {
      return Fail("expected a volume letter and a path, such as C \\data");
    }
    const std::string_view path = Trim(line.substr(2));
    if (!IsValidPath(path)) return Fail("not a valid path: " + std::string(path));
    session.exclusions.push_back({letter[0], std::string(path)});
    return true;
  }

  ParseScope scope_;
  Config& config_;
  ParseError& error_;
  Section section_ = Section::kNone;
  std::size_t line_number_ = 0;
  unsigned seen_[2] = {0, 0};
  bool stopped_ = false;
  bool session_seen_ = false;
  bool release_seen_ = false;
  bool capacity_seen_ = false;
};

void FormatSession(std::string& out, const char* header, const SessionConfig& session) {
  out += header;
  out += "\nfilter = ";
  out += session.filter ? "on" : "off";
  out += "\ncompression = ";
  out += session.compression ? "on" : "off";
  out += "\npreallocation = ";
  out += session.preallocation ? "on" : "off";
  out += "\nthreshold = " + std::to_string(session.threshold);
  out += "\nprotected =";
  for (char volume : session.protected_volumes) (out += ' ') += volume;
  out += "\nsizedisplay = ";
  out += session.virtual_size ? "virtual" : "actual";
  out += '\n';
}

void FormatExclusions(std::string& out, const char* header, const SessionConfig& session) {
  out += header;
  out += '\n';
  for (const Exclusion& exclusion : session.exclusions) {
    ((out += exclusion.volume) += ' ') += exclusion.path;
    out += '\n';
  }
}

}  // namespace

bool ParseConfig(std::string_view text, ParseScope scope, Config& config, ParseError& error) {
  config = Config{};
  error = ParseError{};
  Parser parser(scope, config, error);
  // Notepad saves UTF-8 with a byte-order mark; FormatConfig writes none.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!parser.Line(line)) {
      if (!parser.Stopped()) return false;
      break;
    }
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  }
  return parser.Finish();
}

std::string FormatConfig(const Config& config) {
  std::string out =
      "# fbwfsim: the simulated write filter. [current] is the running session, [next]\n"
      "# takes effect at the next 'fbwfsim reboot'.\n";
  out += "[machine]\nrelease = ";
  out += config.release->name;
  out += "\nsession = " + std::to_string(config.session) + "\n";
  if (!config.capacities.empty()) {
    out += "capacity =";
    for (const auto& [volume, bytes] : config.capacities) ((out += ' ') += volume) += ':' + std::to_string(bytes);
    out += '\n';
  }
  FormatSession(out, "[current]", config.current);
  FormatSession(out, "[next]", config.next);
  FormatExclusions(out, "[current exclusions]", config.current);
  FormatExclusions(out, "[next exclusions]", config.next);
  ContentHash hash;
  hash.Add(out);
  return out + SealLine(hash.Value());
}

const Release* FindRelease(std::string_view name) {
  for (const Release& release : kReleases) {
    if (SameAscii(name, release.name)) return &release;
  }
  return nullptr;
}

Config Config::Fresh(const Release& release) {
  Config config;
  config.release = &release;
  config.current.threshold = config.next.threshold = release.default_threshold;
  for (const char volume : {'C', 'D'}) config.capacities[volume] = DefaultCapacity(volume);
  return config;
}

std::uint64_t Config::Capacity(char volume) const {
  const auto found = capacities.find(volume);
  if (found != capacities.end()) return found->second;
  return DefaultCapacity(volume);
}

namespace {

auto SameExclusion(char volume, std::string_view path) {
  return [volume, key = PathKey(path)](const Exclusion& e) { return e.volume == volume && EqualFolded(e.path, key); };
}

}  // namespace

bool ListsExclusion(const SessionConfig& session, char volume, std::string_view path) {
  return std::any_of(session.exclusions.begin(), session.exclusions.end(), SameExclusion(volume, path));
}

std::size_t RemoveExclusions(SessionConfig& session, char volume, std::string_view path) {
  return std::erase_if(session.exclusions, SameExclusion(volume, path));
}

}  // namespace wfsim
