#include "vorlenctl/json_reader.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

struct Taken {
  std::string_view text;
  std::string_view as;  // the value written back, compact
};

TEST(JsonReader, TakesWhatTheStandardAllowsAndKeepsKeysInTheirOrder) {
  const Taken cases[] = {
      {" {\"b\": [1, -2, 1.5, 1e3, true, false, null], \"a\": {}}\r\n", R"({"b":[1,-2,1.5,1000.0,true,false,null],"a":{}})"},
      {R"("\"\\\/\b\f\n\r\t")", R"("\"\\/\b\f\n\r\t")"},
      {R"("\u00e9\u4e2d\ud83d\ude00 é")", "\"é中😀 é\""},
      {"18446744073709551615", "18446744073709551615"},
      {"18446744073709551616", "1.8446744073709552e+19"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"-0", "0"},
      {"[[[[]]]]", "[[[[]]]]"},
  };
  for (const Taken& c : cases) {
    ReadFailure failure;
    const auto value = ReadJson(c.text, 4, failure);
    ASSERT_TRUE(value) << c.text << ": " << failure.what << " at " << failure.offset;
    EXPECT_EQ(value->dump(), c.as) << c.text;
  }
}

struct Refused {
  std::string_view text;
  std::size_t offset;
  std::string_view what;
};

TEST(JsonReader, RefusesAtTheByteWhereTheTextGoesWrong) {
  const Refused cases[] = {
      {"", 0, "a value is expected, and the text ends"},
      {"[1,]", 3, "a value is expected"},
      {"[1 2]", 3, "',' or ']' is expected"},
      {R"({"a" 1})", 5, "':' is expected after a key"},
      {"{1: 2}", 1, "a key in quotes is expected"},
      {R"({"a": 1, "b": 2, "a": 3})", 17, "the key \"a\" is given twice"},
      {R"({"a": 1, "\u0061": 2})", 9, "the key \"a\" is given twice"},
      {"1 2", 2, "the text goes on after its value"},
      {"tru", 0, "a value is expected"},
      {"01", 0, "a number starts with 0"},
      {"-", 0, "a value is expected"},
      {"1.", 2, "a digit is expected after '.'"},
      {"1e+", 3, "a digit is expected in the exponent"},
      {"\"abc", 4, "a string is not closed"},
      {"\"a\tb\"", 2, "a control character in a string"},
      {"\"a\xff\"", 2, "not UTF-8"},
      {"\"\xc0\xaf\"", 1, "not UTF-8"},
      {R"("\ud800")", 1, "a surrogate without its pair"},
      {R"("\udc00\ud800")", 1, "a surrogate without its pair"},
      {R"("\x")", 1, "an unknown escape"},
      {R"("\u12g4")", 1, "\\u takes four hexadecimal digits"},
      {"[[[[[]]]]]", 4, "nested more than 4 levels deep"},
      {R"({"a": {"b": {"c": {"d": {}}}}})", 24, "nested more than 4 levels deep"},
  };
  for (const Refused& c : cases) {
    ReadFailure failure;
    EXPECT_FALSE(ReadJson(c.text, 4, failure)) << c.text;
    EXPECT_EQ(failure.what, c.what) << c.text;
    EXPECT_EQ(failure.offset, c.offset) << c.text;
  }
}

TEST(JsonReader, ManyKeysInOneObjectAreCheckedInTime) {
  std::string text = "{";
  for (int i = 0; i < 100000; ++i) text += "\"k" + std::to_string(i) + "\": 0,";
  text += "\"k5\": 1}";
  ReadFailure failure;
  EXPECT_FALSE(ReadJson(text, 4, failure));
  EXPECT_EQ(failure.what, "the key \"k5\" is given twice");
  EXPECT_EQ(failure.offset, text.size() - 8);  // at "k5" the second time
}

}  // namespace
}  // namespace ctl
