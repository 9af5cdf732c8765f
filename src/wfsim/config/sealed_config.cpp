#include "wfsim/config/sealed_config.h"

#include <cstdint>
#include <cstring>

#include "wfsim/base/text.h"

namespace wfsim {

namespace {

constexpr std::string_view kSealPrefix = "# seal ";
constexpr std::size_t kSealLength = kSealPrefix.size() + 16 + 1;

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

// A bijection of the lane for each word, so two texts that differ in one word
// always end in different lanes.
std::uint64_t Step(std::uint64_t lane, std::uint64_t word) { return (lane ^ word) * kMultiplier; }

std::uint64_t Avalanche(std::uint64_t value) {
  value ^= value >> 33;
  value *= 0xFF51AFD7ED558CCDull;
  value ^= value >> 33;
  value *= 0xC4CEB9FE1A85EC53ull;
  return value ^ (value >> 33);
}

// Little-endian whatever the host, so a value does not depend on where the
// pieces were split; compilers make this one load.
std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = (word << 8) | p[i];
  return word;
}

// The first line that is `header`. Lists' lines start with a volume letter,
// so searching for the rare '[' skips them quickly.
std::size_t FindHeader(std::string_view text, std::string_view header) {
  const char* const data = text.data();
  for (std::size_t at = 0; at < text.size();) {
    const void* found = std::memchr(data + at, '[', text.size() - at);
    if (found == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    if ((at == 0 || data[at - 1] == '\n') && text.substr(at, header.size()) == header) return at;
    ++at;
  }
  return std::string_view::npos;
}

}  // namespace

void ContentHash::Word(std::uint64_t word) {
  std::uint64_t& lane = lanes_[words_++ & 1];
  lane = Step(lane, word);
}

void ContentHash::Add(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  length_ += n;
  for (; pending_bytes_ != 0 && n > 0; --n) {
    pending_ |= std::uint64_t{*p++} << (8 * pending_bytes_);
    if (++pending_bytes_ == 8) {
      Word(pending_);
      pending_ = 0;
      pending_bytes_ = 0;
    }
  }
  if ((words_ & 1) != 0 && n >= 8) {
    Word(Load64(p));
    p += 8;
    n -= 8;
  }
  std::uint64_t even = lanes_[0], odd = lanes_[1];
  for (; n >= 16; p += 16, n -= 16) {
    even = Step(even, Load64(p));
    odd = Step(odd, Load64(p + 8));
    words_ += 2;
  }
  lanes_[0] = even;
  lanes_[1] = odd;
  for (; n >= 8; p += 8, n -= 8) Word(Load64(p));
  for (; n > 0; --n) pending_ |= std::uint64_t{*p++} << (8 * pending_bytes_++);
}

std::uint64_t ContentHash::Value() const {
  std::uint64_t even = lanes_[0], odd = lanes_[1];
  if (pending_bytes_ != 0) ((words_ & 1) == 0 ? even : odd) = Step((words_ & 1) == 0 ? even : odd, pending_);
  return Avalanche(Avalanche(even) ^ Avalanche(odd ^ length_) * kMultiplier);
}

std::string SealLine(std::uint64_t hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string line(kSealPrefix);
  for (int shift = 60; shift >= 0; shift -= 4) line += kDigits[(hash >> shift) & 0xF];
  line += '\n';
  return line;
}

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Eight ASCII bytes with a to z made upper case. Each byte is below 0x80,
// so adding to it never carries into the next.
std::uint64_t UpperAscii(std::uint64_t word) {
  const std::uint64_t from_a = (word + 0x1F1F1F1F1F1F1F1Fu) & kHighBits;  // 0x61 and up
  const std::uint64_t past_z = (word + 0x0505050505050505u) & kHighBits;  // 0x7B and up
  return word - ((from_a & ~past_z) >> 2);
}

// Whether a list's `path` folds to `folded_path`. Paths of a long list
// often differ only near their end, so each is compared from its end while
// both sides are ASCII, which folds byte for byte; what is left, where a
// name's folded form may differ in length, is compared folded whole.
bool FoldsTo(std::string_view path, std::string_view folded_path) {
  std::size_t line_left = path.size(), wanted_left = folded_path.size();
  // Eight bytes at a time while both are ASCII: lists share endings
  // (\...\app.log), which byte by byte cost most of a long list's scan.
  while (line_left >= 8 && wanted_left >= 8) {
    std::uint64_t line_word, wanted_word;
    std::memcpy(&line_word, path.data() + line_left - 8, 8);
    std::memcpy(&wanted_word, folded_path.data() + wanted_left - 8, 8);
    if (((line_word | wanted_word) & kHighBits) != 0) break;
    if (UpperAscii(line_word) != wanted_word) return false;
    line_left -= 8;
    wanted_left -= 8;
  }
  for (; line_left > 0 && wanted_left > 0; --line_left, --wanted_left) {
    const auto c = static_cast<unsigned char>(path[line_left - 1]);
    const auto w = static_cast<unsigned char>(folded_path[wanted_left - 1]);
    if (c >= 0x80 || w >= 0x80) break;
    if ((c >= 'a' && c <= 'z' ? c - 0x20 : c) != w) return false;
  }
  if (line_left == 0 || wanted_left == 0) return line_left == wanted_left;
  return EqualFolded(path.substr(0, line_left), folded_path.substr(0, wanted_left));
}

}  // namespace

std::optional<SealedText> OpenSealed(std::string_view text, char volume, std::string_view folded_path) {
  if (text.size() < kSealLength) return std::nullopt;
  SealedText sealed;
  sealed.body = text.substr(0, text.size() - kSealLength);
  const std::string_view body = sealed.body;
  const std::size_t header = FindHeader(body, "[next exclusions]\n");
  if (header == std::string_view::npos) return std::nullopt;
  sealed.list_start = header + std::string_view("[next exclusions]\n").size();
  constexpr std::string_view kCurrent = "[current exclusions]\n";
  const std::size_t current = FindHeader(body.substr(0, header), kCurrent);
  if (current == std::string_view::npos) return std::nullopt;
  sealed.current_list_bytes = header - (current + kCurrent.size());
  sealed.up_to_list.Add(body.substr(0, sealed.list_start));
  sealed.whole = sealed.up_to_list;
  sealed.whole.Add(body.substr(sealed.list_start));
  if (text.substr(body.size()) != SealLine(sealed.whole.Value())) return std::nullopt;
  // Lines are "L \path" as FormatConfig writes them.
  const char* const data = body.data();
  for (std::size_t start = sealed.list_start; start < body.size();) {
    const void* newline = std::memchr(data + start, '\n', body.size() - start);
    if (newline == nullptr) return std::nullopt;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(newline) - data);
    if (end - start > 2 && data[start] == volume) {
      const std::string_view path = body.substr(start + 2, end - start - 2);
      if (FoldsTo(path, folded_path)) sealed.lines.push_back({start, end + 1});
    }
    start = end + 1;
  }
  return sealed;
}

void AddSealedLine(const SealedText& sealed, std::size_t text_size, char volume, std::string_view path,
                   SealedChange& change) {
  ((change.line += volume) += ' ') += path;
  change.line += '\n';
  ContentHash hash = sealed.whole;
  hash.Add(change.line);
  change.seal = SealLine(hash.Value());
  change.pieces = {sealed.body, change.line, change.seal};
  // At the next reboot the current list becomes a copy of the next one.
  const std::size_t next_list = sealed.body.size() - sealed.list_start + change.line.size();
  change.rebooted_size = text_size + change.line.size() - sealed.current_list_bytes + next_list;
}

void RemoveSealedLines(const SealedText& sealed, SealedChange& change) {
  const std::string_view body = sealed.body;
  change.pieces.push_back(body.substr(0, sealed.list_start));
  std::size_t from = sealed.list_start;
  for (const SealedText::Line& found : sealed.lines) {
    change.pieces.push_back(body.substr(from, found.start - from));
    from = found.end;
  }
  change.pieces.push_back(body.substr(from));
  ContentHash hash = sealed.up_to_list;
  for (std::size_t i = 1; i < change.pieces.size(); ++i) hash.Add(change.pieces[i]);
  change.seal = SealLine(hash.Value());
  change.pieces.push_back(change.seal);
}

}  // namespace wfsim
