#include "json/writer.h"

#include <gtest/gtest.h>

#include "vorlenctl/json_reader.h"

namespace ctl {

using json::JsonWriter;
namespace {

struct Written {
  std::string_view text;
  std::string_view as;
};

// Every text comes out as valid JSON that reads back to its characters; only
// what JSON requires is escaped, and bytes that are not UTF-8 become U+FFFD.
TEST(JsonWriter, EscapesWhatJsonRequiresAndKeepsEveryCharacter) {
  const Written cases[] = {
      {"\\temp\\a \"b\"", R"("\\temp\\a \"b\"")"},
      {std::string_view("\b\f\n\r\t\x01\x1f\x7f/\0", 10), "\"\\b\\f\\n\\r\\t\\u0001\\u001f\x7f/\\u0000\""},
      {"Журнал 中 😀", "\"Журнал 中 😀\""},
      {"a\xff" "b\xc3", "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\""},
      {"\xed\xa0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate's bytes
  };
  for (const Written& c : cases) {
    JsonWriter out;
    out.String(c.text);
    EXPECT_EQ(out.text(), c.as);
    ReadFailure failure;
    EXPECT_TRUE(ReadJson(out.text(), 1, failure)) << out.text() << ": " << failure.what;
  }
}

TEST(JsonWriter, IndentsTwoSpacesALevelAndKeepsEmptyContainersOnOneLine) {
  JsonWriter out;
  out.Open('{');
  out.Key("empty").Open('{');
  out.Close();
  out.Key("list").Open('[');
  out.Number(18446744073709551615u);
  out.Strings({});
  out.Strings({"C:"});
  out.Open('{');
  out.Key("percent").Tenths(425);
  out.Key("none").Tenths(0);
  out.Close();
  out.Close();
  out.Key("on").Bool(true);
  out.Key("off").Bool(false);
  out.Key("missing").Null();
  out.Close();
  EXPECT_EQ(out.text(),
            "{\n"
            "  \"empty\": {},\n"
            "  \"list\": [\n"
            "    18446744073709551615,\n"
            "    [],\n"
            "    [\n"
            "      \"C:\"\n"
            "    ],\n"
            "    {\n"
            "      \"percent\": 42.5,\n"
            "      \"none\": 0.0\n"
            "    }\n"
            "  ],\n"
            "  \"on\": true,\n"
            "  \"off\": false,\n"
            "  \"missing\": null\n"
            "}");
}

}  // namespace
}  // namespace ctl
