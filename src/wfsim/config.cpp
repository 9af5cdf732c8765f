#include "wfsim/config.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>
#include <utility>

#include "wfsim/paths.h"
#include "wfsim/text.h"

namespace wfsim {

namespace {

enum class Section { kNone, kMachine, kCurrent, kNext, kCurrentExclusions, kNextExclusions };

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
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

bool ParseThreshold(std::string_view value, std::uint32_t& out) {
  if (value.empty() || value.size() > 4) return false;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
  return ec == std::errc() && end == value.data() + value.size() && out >= 16 && out <= 1024;
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
    if (seen_[0] != kAllKeys || seen_[1] != kAllKeys) {
      error_.line = line_number_;
      error_.what = "[current] and [next] must each set filter, compression, preallocation, "
                    "threshold and protected";
      return false;
    }
    return true;
  }

  bool Stopped() const { return stopped_; }

 private:
  static constexpr unsigned kAllKeys = 0x1F;

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
    static constexpr std::string_view kKeys[] = {"filter", "compression", "preallocation",
                                                 "threshold", "protected"};
    const auto found = std::find(std::begin(kKeys), std::end(kKeys), key);
    if (found == std::end(kKeys)) return Fail("unknown key " + std::string(key));
    const unsigned bit = 1u << (found - std::begin(kKeys));
    if ((seen & bit) != 0) return Fail("key " + std::string(key) + " set twice");
    seen |= bit;
    bool ok = false;
    switch (found - std::begin(kKeys)) {
      case 0: ok = ParseSwitch(value, session.filter); break;
      case 1: ok = ParseSwitch(value, session.compression); break;
      case 2: ok = ParseSwitch(value, session.preallocation); break;
      case 3: ok = ParseThreshold(value, session.threshold); break;
      case 4: ok = ParseVolumes(value, session.protected_volumes); break;
    }
    return ok || Fail("bad value for " + std::string(key));
  }

  bool MachineSetting(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected key = value");
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key != "session") return Fail("unknown key " + std::string(key));
    if (session_seen_) return Fail("key session set twice");
    session_seen_ = true;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), config_.session);
    return (!value.empty() && ec == std::errc() && end == value.data() + value.size()) ||
           Fail("bad value for session");
  }

  bool ExclusionLine(std::string_view line, SessionConfig& session) {
    std::string letter;
    if (line.size() < 3 || (line[1] != ' ' && line[1] != '\t') ||
        !ParseVolumes(line.substr(0, 1), letter) || letter.empty()) {
      return Fail("expected a volume letter and a path, such as C \\data");
    }
    const std::string_view path = Trim(line.substr(2));
    if (!IsValidPath(path)) return Fail("not a valid path: " + std::string(path));
    auto& keys = &session == &config_.current ? current_keys_ : next_keys_;
    if (!keys.insert(letter + PathKey(path)).second) return Fail("exclusion listed twice");
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
  std::unordered_set<std::string> current_keys_;
  std::unordered_set<std::string> next_keys_;
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
  out += "[machine]\nsession = " + std::to_string(config.session) + "\n";
  FormatSession(out, "[current]", config.current);
  FormatSession(out, "[next]", config.next);
  FormatExclusions(out, "[current exclusions]", config.current);
  FormatExclusions(out, "[next exclusions]", config.next);
  return out;
}

std::ptrdiff_t FindExclusion(const SessionConfig& session, char volume, std::string_view path) {
  const std::string key = PathKey(path);
  for (std::size_t i = 0; i < session.exclusions.size(); ++i) {
    const Exclusion& exclusion = session.exclusions[i];
    if (exclusion.volume == volume && EqualFolded(exclusion.path, key)) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

}  // namespace wfsim
