#include "json/writer.h"

#include "text/utf8.h"

namespace json {

namespace {

// The escapes JSON has for some control characters; 0 for the others.
char ShortEscape(unsigned char c) {
  switch (c) {
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
  }
}

}  // namespace

void JsonWriter::NextEntry() {
  if (open_.back().second++ > 0) text_ += one_line_ ? ", " : ",";
  if (one_line_) return;
  text_ += '\n';
  text_.append(2 * open_.size(), ' ');
}

void JsonWriter::Value() {
  if (after_key_) {
    after_key_ = false;
  } else if (!open_.empty()) {
    NextEntry();
  }
}

void JsonWriter::Open(char bracket) {
  Value();
  text_ += bracket;
  open_.emplace_back(bracket == '{' ? '}' : ']', 0);
}

void JsonWriter::Close() {
  const auto [closing, entries] = open_.back();
  open_.pop_back();
  if (entries > 0 && !one_line_) {
    text_ += '\n';
    text_.append(2 * open_.size(), ' ');
  }
  text_ += closing;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  NextEntry();
  Quoted(name);
  text_ += ": ";
  after_key_ = true;
  return *this;
}

void JsonWriter::String(std::string_view utf8) {
  Value();
  Quoted(utf8);
}

void JsonWriter::Number(std::uint64_t value) {
  Value();
  text_ += std::to_string(value);
}

void JsonWriter::Tenths(std::uint64_t tenths) {
  Number(tenths / 10);
  text_ += '.';
  text_ += static_cast<char>('0' + tenths % 10);
}

void JsonWriter::Bool(bool value) {
  Value();
  text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  Value();
  text_ += "null";
}

void JsonWriter::Strings(const std::vector<std::string>& texts) {
  Open('[');
  for (const std::string& text : texts) String(text);
  Close();
}

void JsonWriter::Quoted(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  text_ += '"';
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    const unsigned char* plain = p;  // printable ASCII goes as it is, in one piece
    while (p < end && *p >= 0x20 && *p < 0x80 && *p != '"' && *p != '\\') ++p;
    text_.append(reinterpret_cast<const char*>(plain), static_cast<std::size_t>(p - plain));
    if (p == end) break;
    const unsigned char c = *p;
    std::size_t length = 1;
    if (c >= 0x80) {
      if (text::DecodeUtf8(p, static_cast<std::size_t>(end - p), length) == text::kNotUtf8) {
        text_ += "\xEF\xBF\xBD";
      } else {
        text_.append(reinterpret_cast<const char*>(p), length);
      }
    } else if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += static_cast<char>(c);
    } else if (const char escape = ShortEscape(c)) {
      text_ += '\\';
      text_ += escape;
    } else {
      text_ += "\\u00";
      text_ += kHex[c >> 4];
      text_ += kHex[c & 0xF];
    }
    p += length;
  }
  text_ += '"';
}

}  // namespace json
