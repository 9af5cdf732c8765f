// A call as its journal line: "2026-12-08T14:10:10.123Z 4242
// FbwfAddExclusion("C:", "\\logs") = 0", built in a buffer of its own, so a
// call is journaled even when memory has run out, and never longer than
// kCapacity: a text argument past kTextBytes is cut, with its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wfapi/wfapi.h"

namespace wfsim {

// An argument as the journal shows it: a library text in quotes (or null),
// a number, or a word of the stand-in's own ("size null").
struct CallArgument {
  enum class Kind { kText, kNumber, kWord } kind = Kind::kWord;
  const WfChar* text = nullptr;
  std::uint32_t number = 0;
  const char* word = "";

  static CallArgument Text(const WfChar* text) { return {Kind::kText, text, 0, ""}; }
  static CallArgument Number(std::uint32_t number) { return {Kind::kNumber, nullptr, number, ""}; }
  static CallArgument Word(const char* word) { return {Kind::kWord, nullptr, 0, word}; }
};

class CallLine {
 public:
  static constexpr std::size_t kTextBytes = 1024;
  static constexpr std::size_t kCapacity = 4096;

  CallLine(WfFunction function, const CallArgument* arguments, std::size_t count, WfStatus code);
  std::string_view view() const { return {text_, size_}; }

 private:
  void Put(std::string_view bytes);
  void PutText(const WfChar* text);

  char text_[kCapacity];
  std::size_t size_ = 0;
};

}  // namespace wfsim
