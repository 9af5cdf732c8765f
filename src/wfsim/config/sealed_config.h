// The configuration as text, for changes to a long exclusion list that copy
// its bytes instead of parsing every line.
//
// FormatConfig ends the text with a seal, "# seal HASH", a hash of all that
// comes before it. A text whose seal matches is byte for byte what this
// program wrote, and every line of it was validated when it was written; an
// edit by hand breaks the seal, and the text is then parsed whole again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfsim {

// A 64-bit hash of a byte sequence given in any number of pieces; the split
// does not change the value. Detects edits, not tampering.
class ContentHash {
 public:
  void Add(std::string_view bytes);
  std::uint64_t Value() const;

 private:
  void Word(std::uint64_t word);

  // Two lanes, even and odd words, so that a long text takes half the steps
  // one after the other.
  std::uint64_t lanes_[2] = {0x6A09E667F3BCC909ull, 0xBB67AE8584CAA73Bull};
  std::uint64_t words_ = 0;
  std::uint64_t pending_ = 0;
  unsigned pending_bytes_ = 0;
  std::uint64_t length_ = 0;
};

// "# seal 0123456789abcdef\n"
std::string SealLine(std::uint64_t hash);

// A sealed text, opened for a change to its next-session exclusion list:
// where the list starts, and the lines of `volume` and `folded_path` (a
// PathKey) in it, compared case-insensitively. There is one at most unless
// the list was written when fewer names folded alike.
struct SealedText {
  struct Line {
    std::size_t start;
    std::size_t end;  // just after its line break
  };
  std::string_view body;       // all before the seal
  std::size_t list_start = 0;  // just after the list's header line
  std::size_t current_list_bytes = 0;  // of the current session's list
  std::vector<Line> lines;     // found, in order
  ContentHash up_to_list;      // of body up to list_start
  ContentHash whole;           // of body
};

// nullopt when the seal does not match: the text must be parsed whole.
std::optional<SealedText> OpenSealed(std::string_view text, char volume, std::string_view folded_path);

// A sealed text changed by copying its bytes around one line: the pieces of
// the new text, which end with its new seal, and point into the old text or
// into this object.
struct SealedChange {
  SealedChange() = default;
  SealedChange(const SealedChange&) = delete;
  SealedChange& operator=(const SealedChange&) = delete;

  std::vector<std::string_view> pieces;
  std::string line;
  std::string seal;
  // The text's size once a reboot has copied the next list into the current one.
  std::size_t rebooted_size = 0;
};

// Adds "VOLUME path" at the end of the next session's list of a text of
// `text_size` bytes.
void AddSealedLine(const SealedText& sealed, std::size_t text_size, char volume, std::string_view path,
                   SealedChange& change);
// Removes every line found: the bytes around them are copied as they are.
void RemoveSealedLines(const SealedText& sealed, SealedChange& change);

}  // namespace wfsim
