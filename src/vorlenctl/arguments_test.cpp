#include "vorlenctl/arguments.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

const std::vector<OptionForm> kSetOptions = {{"--check", false, 'c'}, {"--exit-reboot", false}, {"--top", true, 't'}};

struct ArgumentCase {
  std::vector<std::string> args;
  std::vector<std::string> operands;
  std::vector<std::pair<std::string, std::string>> options;
};

TEST(Arguments, OptionsGoBeforeOrAfterTheOperandAndDoubleDashEndsThem) {
  const ArgumentCase cases[] = {
      {{"desired.json", "--check"}, {"desired.json"}, {{"--check", ""}}},
      {{"--check", "desired.json"}, {"desired.json"}, {{"--check", ""}}},
      {{"--exit-reboot", "-"}, {"-"}, {{"--exit-reboot", ""}}},
      {{"--top=3"}, {}, {{"--top", "3"}}},
      {{"--top", "3", "--check"}, {}, {{"--top", "3"}, {"--check", ""}}},
      {{"--top", "--check"}, {}, {{"--top", "--check"}}},  // a value is whatever follows
      {{"--top="}, {}, {{"--top", ""}}},
      {{"--", "--check"}, {"--check"}, {}},
      {{"--check", "--", "-"}, {"-"}, {{"--check", ""}}},
      {{}, {}, {}},
      {{"-t", "3", "-c"}, {}, {{"--top", "3"}, {"--check", ""}}},
      {{"-t3"}, {}, {{"--top", "3"}}},
      {{"-x"}, {"-x"}, {}},  // no option's letter: an operand, as before letters
      {{"--", "-c"}, {"-c"}, {}},
  };
  for (const ArgumentCase& c : cases) {
    std::string error;
    const std::optional<Arguments> parsed = ParseArguments(c.args, kSetOptions, 1, error);
    ASSERT_TRUE(parsed.has_value()) << testing::PrintToString(c.args) << ": " << error;
    EXPECT_EQ(parsed->operands, c.operands) << testing::PrintToString(c.args);
    EXPECT_EQ(parsed->options, c.options) << testing::PrintToString(c.args);
  }
}

TEST(Arguments, TheArgumentThatIsWrongIsNamed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--chek"}, "unknown option --chek"},
      {{"--chek=1"}, "unknown option --chek"},
      {{"--check=yes"}, "--check takes no value"},
      {{"a.json", "--top"}, "--top needs a value"},
      {{"a.json", "b.json"}, "one operand too many: b.json"},
      {{"a.json", "--", "--check"}, "one operand too many: --check"},
      {{"-c1"}, "-c takes no value"},
      {{"-t"}, "-t needs a value"},
  };
  for (const auto& [args, expected] : cases) {
    std::string error;
    EXPECT_FALSE(ParseArguments(args, kSetOptions, 1, error).has_value()) << testing::PrintToString(args);
    EXPECT_EQ(error, expected);
  }
  std::string error;
  EXPECT_FALSE(ParseArguments({"x"}, {}, 0, error).has_value());
  EXPECT_EQ(error, "it takes no operand, but was given x");
}

TEST(Arguments, TheLastValueOfAnOptionGivenTwiceHolds) {
  std::string error;
  const auto parsed = ParseArguments({"--top", "3", "--top=5"}, kSetOptions, 0, error);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->Value("--top"), "5");
  EXPECT_FALSE(parsed->Value("--check").has_value());
  EXPECT_FALSE(parsed->Has("--check"));
}

}  // namespace
}  // namespace ctl
