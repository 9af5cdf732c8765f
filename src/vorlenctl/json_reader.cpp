#include "vorlenctl/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "text/utf8.h"

namespace ctl {
namespace {

using Value = nlohmann::ordered_json;

class Reader {
 public:
  Reader(std::string_view text, int depth_limit, ReadFailure& failure)
      : text_(text), depth_limit_(depth_limit), failure_(failure) {}

  std::optional<Value> Whole() {
    std::optional<Value> value = Read(0);
    if (value && (SkipSpace(), at_ < text_.size())) return Fail("the text goes on after its value");
    return value;
  }

 private:
  std::nullopt_t Fail(std::string what) {
    failure_ = {at_, std::move(what)};
    return std::nullopt;
  }

  void SkipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  bool Take(char c) {
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  std::optional<Value> Read(int depth) {
    SkipSpace();
    if (at_ >= text_.size()) return Fail("a value is expected, and the text ends");
    switch (text_[at_]) {
      case '{': return Container(depth, '}');
      case '[': return Container(depth, ']');
      case '"': {
        std::optional<std::string> s = String();
        if (!s) return std::nullopt;
        return Value(std::move(*s));
      }
      case 't': return Word("true", Value(true));
      case 'f': return Word("false", Value(false));
      case 'n': return Word("null", Value(nullptr));
      default: return Number();
    }
  }

  std::optional<Value> Word(std::string_view word, Value value) {
    if (text_.substr(at_, word.size()) != word) return Fail("a value is expected");
    at_ += word.size();
    return value;
  }

  // An object ('}') or an array (']'), whose opening character is at at_.
  std::optional<Value> Container(int depth, char close) {
    if (depth >= depth_limit_) return Fail("nested more than " + std::to_string(depth_limit_) + " levels deep");
    ++at_;
    Value container = close == '}' ? Value::object() : Value::array();
    std::vector<std::pair<std::string, std::size_t>> keys;  // and where each is
    if (Take(close)) return container;
    do {
      if (close == ']') {
        std::optional<Value> item = Read(depth + 1);
        if (!item) return std::nullopt;
        container.push_back(std::move(*item));
        continue;
      }
      SkipSpace();
      keys.emplace_back(std::string(), at_);
      std::optional<std::string> key = at_ < text_.size() && text_[at_] == '"' ? String() : Fail("a key in quotes is expected");
      if (!key) return std::nullopt;
      keys.back().first = *key;
      if (!Take(':')) return Fail("':' is expected after a key");
      std::optional<Value> item = Read(depth + 1);
      if (!item) return std::nullopt;
      // Appended as they come: the object's own insertion looks for the key
      // first, which many keys would make quadratic.
      container.get_ref<Value::object_t&>().emplace_back(std::move(*key), std::move(*item));
    } while (Take(','));
    if (!Take(close)) return Fail(close == '}' ? "',' or '}' is expected" : "',' or ']' is expected");
    if (!UniqueKeys(keys)) return std::nullopt;
    return container;
  }

  // Fails at the first key in the text that repeats an earlier one.
  bool UniqueKeys(std::vector<std::pair<std::string, std::size_t>>& keys) {
    std::sort(keys.begin(), keys.end());
    std::size_t first_repeat = text_.size();
    for (std::size_t i = 1; i < keys.size(); ++i) {
      if (keys[i].first == keys[i - 1].first) first_repeat = std::min(first_repeat, keys[i].second);
    }
    if (first_repeat == text_.size()) return true;
    const auto repeated = std::find_if(keys.begin(), keys.end(), [&](const auto& key) { return key.second == first_repeat; });
    at_ = first_repeat;
    return Fail("the key \"" + repeated->first + "\" is given twice"), false;
  }

  // A string whose opening quote is at at_, unescaped, as UTF-8.
  std::optional<std::string> String() {
    std::string out;
    ++at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto byte = static_cast<unsigned char>(text_[at_]);
      if (byte < 0x20) return Fail("a control character in a string");
      if (byte == '\\') {
        if (!Escape(out)) return std::nullopt;
        continue;
      }
      std::size_t length = 1;
      if (text::DecodeUtf8(reinterpret_cast<const unsigned char*>(text_.data() + at_), text_.size() - at_, length) ==
          text::kNotUtf8) {
        return Fail("not UTF-8");
      }
      out.append(text_.substr(at_, length));
      at_ += length;
    }
    if (at_ >= text_.size()) return Fail("a string is not closed");
    ++at_;
    return out;
  }

  bool Escape(std::string& out) {
    const std::size_t from = at_;
    if (at_ + 1 >= text_.size()) return Fail("an escape is cut short"), false;
    const char c = text_[at_ + 1];
    static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
    if (const std::size_t k = kFrom.find(c); k != std::string_view::npos) {
      out += kTo[k];
      at_ += 2;
      return true;
    }
    if (c != 'u') return Fail("an unknown escape"), false;
    char32_t unit = 0;
    if (!Unit(unit)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      char32_t low = 0;
      if (text_.substr(at_, 2) != "\\u" || !Unit(low) || low < 0xDC00 || low > 0xDFFF) {
        return at_ = from, Fail("a surrogate without its pair"), false;
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return at_ = from, Fail("a surrogate without its pair"), false;
    }
    PutUtf8(unit, out);
    return true;
  }

  // \uXXXX at at_.
  bool Unit(char32_t& unit) {
    unsigned value = 0;
    const char* first = text_.data() + at_ + 2;
    if (at_ + 6 > text_.size() || std::from_chars(first, first + 4, value, 16).ptr != first + 4) {
      return Fail("\\u takes four hexadecimal digits"), false;
    }
    unit = value;
    at_ += 6;
    return true;
  }

  static void PutUtf8(char32_t c, std::string& out) {
    unsigned char bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), text::EncodeUtf8(c, bytes));
  }

  std::size_t Digits() {
    const std::size_t from = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ - from;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?: an integer where it is one
  // and fits 64 bits, otherwise a double.
  std::optional<Value> Number() {
    const std::size_t from = at_;
    const bool negative = text_[at_] == '-';
    if (negative) ++at_;
    const std::size_t whole = Digits();
    if (whole == 0) return at_ = from, Fail("a value is expected");
    if (whole > 1 && text_[at_ - whole] == '0') return at_ = from, Fail("a number starts with 0");
    bool integer = true;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (Digits() == 0) return Fail("a digit is expected after '.'");
      integer = false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (Digits() == 0) return Fail("a digit is expected in the exponent");
      integer = false;
    }
    const char* first = text_.data() + from;
    const char* last = text_.data() + at_;
    if (integer && !negative) {
      std::uint64_t value = 0;
      if (std::from_chars(first, last, value).ec == std::errc()) return Value(value);
    } else if (integer) {
      std::int64_t value = 0;
      if (std::from_chars(first, last, value).ec == std::errc()) return Value(value);
    }
    // atof, not strtod: the Windows programs take the C runtime DLL's, which
    // reads a number the grammar above has already checked.
    return Value(std::atof(std::string(first, last).c_str()));
  }

  std::string_view text_;
  std::size_t at_ = 0;
  const int depth_limit_;
  ReadFailure& failure_;
};

}  // namespace

std::optional<nlohmann::ordered_json> ReadJson(std::string_view text, int depth_limit, ReadFailure& failure) {
  return Reader(text, depth_limit, failure).Whole();
}

}  // namespace ctl
