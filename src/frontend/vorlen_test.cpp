#include <gtest/gtest.h>

#include "run_vorlen.h"

namespace {

struct DispatchCase {
  std::vector<std::string> args;
  int status;
  std::string after_banner;
  std::vector<std::string> functions_called;
};

TEST(Dispatch, OptionsSelectOneCommandOrTheUsageExactly) {
  const DispatchCase cases[] = {
      {{}, 1, kUsage, {}},
      {{"-help"}, 0, kUsage, {}},
      {{"-?"}, 0, kUsage, {}},
      {{"-help", "-enable"}, 0, kUsage, {}},
      {{"-HELP"}, 0, "", {}},
      {{"/?"}, 0, "", {}},
      {{"--help"}, 0, "", {}},
      {{""}, 0, "", {}},
      {{"-enabl"}, 0, "", {}},
      {{"-enablex"}, 0, "", {}},
      {{"-Enable"}, 0, "", {}},
      {{"enable"}, 0, "", {}},
      {{"-enable", "-disable"}, 0, "FBWF Enabled.  Reboot system for change to take effect\n",
       {"FbwfEnableFilter"}},
      {{"-enablecache", "C:", "x", "y"}, 0,
       "FBWF Cache PreAllocation enabled. Reboot system for change to take effect\n",
       {"FbwfEnableCachePreAllocation"}},
      {{"-volumestatus", "C:", "\\extra"}, 0,
       "Volume C:  protection is DISABLED\nVolume C:  protection for next session is DISABLED\n",
       {"FbwfIsVolumeProtected"}},
  };
  for (const DispatchCase& c : cases) {
    FakeWriteFilter fake;
    const Outcome outcome = RunVorlenWith(fake, c.args);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(outcome.status, c.status) << label;
    EXPECT_EQ(outcome.output, kBanner + c.after_banner) << label;
    std::vector<std::string> called;
    for (const RecordedCall& call : fake.calls) called.push_back(call.function);
    EXPECT_EQ(called, c.functions_called) << label;
  }
}

struct OperandCase {
  std::vector<std::string> args;
  std::string refusal;  // the line before the usage text
};

TEST(Operands, MissingOrOverlongOperandsAreRefusedWithoutACall) {
  const std::string volume11(11, 'V');
  const std::string path128 = "\\" + std::string(127, 'p');
  const OperandCase cases[] = {
      {{"-protectvolume"}, "Error: operand <volume> is missing\n"},
      {{"-unprotectvolume"}, "Error: operand <volume> is missing\n"},
      {{"-volumestatus"}, "Error: operand <volume> is missing\n"},
      {{"-setcache"}, "Error: operand <cache size> is missing\n"},
      {{"-addex"}, "Error: operand <drive> is missing\n"},
      {{"-remex", "C:"}, "Error: operand <file or path> is missing\n"},
      {{"-commit", "C:"}, "Error: operand <file or path> is missing\n"},
      {{"-restore", "C:"}, "Error: operand <file or path> is missing\n"},
      {{"-protectvolume", volume11}, "Error: operand <volume> is longer than 10 characters\n"},
      {{"-addex", volume11, "\\a"}, "Error: operand <drive> is longer than 10 characters\n"},
      {{"-addex", volume11}, "Error: operand <drive> is longer than 10 characters\n"},
      {{"-commit", "C:", path128}, "Error: operand <file or path> is longer than 127 characters\n"},
  };
  for (const OperandCase& c : cases) {
    FakeWriteFilter fake;
    const Outcome outcome = RunVorlenWith(fake, c.args);
    EXPECT_EQ(outcome.status, 0) << c.args[0];
    EXPECT_EQ(outcome.output, kBanner + c.refusal + kUsage) << c.args[0];
    EXPECT_TRUE(fake.calls.empty()) << c.args[0];
  }
}

TEST(Operands, TextsUpToTheirLimitReachTheLibraryWholeAndTerminated) {
  const std::string volume10 = "\\\\?\\Vol{1}";
  const std::string path127 = "\\" + std::string(126, 'q');
  FakeWriteFilter fake;
  const Outcome outcome = RunVorlenWith(fake, {"-addex", volume10, path127});
  EXPECT_EQ(outcome.output, kBanner + path127 + " on drive " + volume10 +
                                " is now excluded.\n Reboot system for change to take effect\n");
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].texts,
            (std::vector<std::u16string>{u"\\\\?\\Vol{1}", u"\\" + std::u16string(126, u'q')}));
  EXPECT_FALSE(fake.unterminated_text);
}

struct UnitCase {
  std::string typed;
  std::u16string reaches_library;
};

TEST(Operands, Utf8DecodesToUtf16AndOtherBytesStandForThemselves) {
  const UnitCase cases[] = {
      {"\\caf\xC3\xA9", u"\\caf\u00E9"},
      {"\\\xE2\x82\xAC", u"\\\u20AC"},
      {"\\\xD0\xB6\xD1\x83\xD0\xBA", u"\\\u0436\u0443\u043A"},
      {"\\\xE6\x97\xA5\xE6\x9C\xAC", u"\\\u65E5\u672C"},
      {"\\\xF0\x9F\x98\x80.txt", u"\\\xD83D\xDE00.txt"},
      {"\\caf\xE9", u"\\caf\u00E9"},
      {"\\\xE9\x80\xFF\x01", u"\\\u00E9\u0080\u00FF\u0001"},
      {"\\\xC0\xAF", u"\\\u00C0\u00AF"},            // overlong
      {"\\\xED\xA0\x80", u"\\\u00ED\u00A0\u0080"},  // an encoded surrogate
      {"\\\xF4\x90\x80\x80", u"\\\u00F4\u0090\u0080\u0080"},  // past U+10FFFF
      {"\\\xE2\x82", u"\\\u00E2\u0082"},            // cut short at the end
      {"\\\xE2\x82x", u"\\\u00E2\u0082x"},          // cut short by ASCII
  };
  for (const UnitCase& c : cases) {
    FakeWriteFilter fake;
    const Outcome outcome = RunVorlenWith(fake, {"-restore", "c:", c.typed});
    ASSERT_EQ(fake.calls.size(), 1u) << c.typed;
    EXPECT_EQ(fake.calls[0].texts, (std::vector<std::u16string>{u"c:", c.reaches_library})) << c.typed;
    EXPECT_EQ(outcome.output, kBanner + c.typed + " on drive c: has been restored from the disk.\n ")
        << c.typed;
  }
}

TEST(Operands, LimitsCountUtf16Units) {
  std::string e127, e128;
  for (int i = 0; i < 127; ++i) e127 += "\xC3\xA9";
  e128 = e127 + "\xC3\xA9";
  FakeWriteFilter fake;
  RunVorlenWith(fake, {"-addex", "C:", e127});
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].texts[1], std::u16string(127, u'\u00E9'));
  const Outcome refused = RunVorlenWith(fake, {"-addex", "C:", e128});
  EXPECT_EQ(refused.output,
            kBanner + "Error: operand <file or path> is longer than 127 characters\n" + kUsage);
  EXPECT_EQ(fake.calls.size(), 1u);
  // An astral character takes two of the ten units of a volume.
  const std::string astral = "\xF0\x9F\x98\x80";
  RunVorlenWith(fake, {"-volumestatus", "C:" + astral + astral + astral + astral});
  EXPECT_EQ(fake.calls.size(), 2u);
  RunVorlenWith(fake, {"-volumestatus", "C:" + astral + astral + astral + astral + "x"});
  EXPECT_EQ(fake.calls.size(), 2u);
}

TEST(Operands, UnitsFromTheSystemReachTheLibraryUnchangedWhileMessagesEchoTheBytes) {
  const WfChar volume[] = {'C', ':', 0};
  const WfChar path[] = {'\\', 0x0436, 0xD83D, 0xDE00, 0xDC00, 0x20AC, 0};
  const WfChar* units[] = {nullptr, nullptr, volume, path, nullptr};
  const char* argv[] = {"vorlen", "-commit", "C:", "\\?????", nullptr};
  FakeWriteFilter fake;
  const Outcome outcome = RunVorlenWith(fake, {4, argv, units});
  EXPECT_EQ(outcome.output, kBanner + "\\????? on drive C: has been commited to the disk.\n ");
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].texts[1], (std::u16string{u'\\', 0x0436, 0xD83D, 0xDE00, 0xDC00, 0x20AC}));
}

struct CacheSizeCase {
  const char* operand;
  std::uint32_t reaches_library;
};

TEST(Operands, CacheSizeReadsLikeAtoiButSaturatesOutsideTheSignedRange) {
  const CacheSizeCase cases[] = {
      {"512", 512},
      {"64MB", 64},
      {"  \t+16", 16},
      {"abc", 0},
      {"", 0},
      {"-5", 0xFFFFFFFBu},
      {"2147483647", 2147483647u},
      {"2147483648", 2147483647u},
      {"4294967312", 2147483647u},
      {"99999999999999999999999999", 2147483647u},
      {"-2147483648", 0x80000000u},
      {"-2147483649", 0x80000000u},
      {"1 024", 1},
  };
  for (const CacheSizeCase& c : cases) {
    FakeWriteFilter fake;
    fake.result = 87;
    RunVorlenWith(fake, {"-setcache", c.operand});
    ASSERT_EQ(fake.calls.size(), 1u) << c.operand;
    EXPECT_EQ(fake.calls[0].numbers, std::vector<std::uint32_t>{c.reaches_library}) << c.operand;
  }
}

}  // namespace
