// JSON as vorlenctl prints it: two spaces a level, one member or element a
// line, "key": value. Written as it goes, so a reading is printed without
// building a tree of it first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

class JsonWriter {
 public:
  JsonWriter() { text_.reserve(4096); }
  // A document on one line, ", " and ": " between its parts: for files of
  // one document a line.
  struct OneLine {};
  explicit JsonWriter(OneLine) : one_line_(true) {}
  // '{' or '['; each is closed by Close, innermost first.
  void Open(char bracket);
  void Close();
  // A member's name, in an object, before its value:
  // out.Key("name").String(value).
  JsonWriter& Key(std::string_view name);
  // Texts are UTF-8; a byte that is not part of valid UTF-8 is written as
  // U+FFFD, so the output is always valid JSON.
  void String(std::string_view utf8);
  void Number(std::uint64_t value);
  // A number with one decimal: 425 is 42.5, 420 is 42.0.
  void Tenths(std::uint64_t tenths);
  void Bool(bool value);
  void Null();
  // An array of texts.
  void Strings(const std::vector<std::string>& texts);

  const std::string& text() const { return text_; }

 private:
  void Value();      // where a value begins
  void NextEntry();  // a comma after the one before, then a new line
  void Quoted(std::string_view utf8);

  std::string text_;
  std::vector<std::pair<char, std::size_t>> open_;  // closing bracket, entries so far
  bool after_key_ = false;
  bool one_line_ = false;
};

}  // namespace json
