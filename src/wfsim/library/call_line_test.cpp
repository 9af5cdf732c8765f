#include "wfsim/library/call_line.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace wfsim {
namespace {

// The line without its time and process.
std::string Call(WfFunction function, std::initializer_list<CallArgument> arguments, WfStatus code) {
  const CallLine line(function, arguments.begin(), arguments.size(), code);
  const std::string text(line.view());
  EXPECT_TRUE(std::regex_search(text, std::regex("^20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9:]{8}\\.[0-9]{3}Z [0-9]+ ")))
      << text;
  return text.substr(text.find(' ', text.find(' ') + 1) + 1);
}

const WfChar* Units(const std::u16string& text) { return reinterpret_cast<const WfChar*>(text.c_str()); }

TEST(CallLine, ArgumentsAsTheJournalShowsThem) {
  const std::u16string volume = u"C:", path = u"\\logs\\caf\u00E9", quoted = u"\\say \"hi\"\u202E",
                       unpaired = u"\\a\xD800";
  EXPECT_EQ(Call(WfFunction::FbwfAddExclusion, {CallArgument::Text(Units(volume)), CallArgument::Text(Units(path))}, 0),
            "FbwfAddExclusion(\"C:\", \"\\logs\\caf\xC3\xA9\") = 0\n");
  EXPECT_EQ(Call(WfFunction::FbwfUnprotectVolume, {CallArgument::Text(nullptr), CallArgument::Number(4294967295u)}, 87),
            "FbwfUnprotectVolume(null, 4294967295) = 87\n");
  EXPECT_EQ(Call(WfFunction::FbwfFindNext, {CallArgument::Word("size null")}, 87), "FbwfFindNext(size null) = 87\n");
  EXPECT_EQ(Call(WfFunction::FbwfEnableFilter, {}, 4294967295u), "FbwfEnableFilter() = 4294967295\n");
  EXPECT_EQ(Call(WfFunction::FbwfCommitFile, {CallArgument::Text(Units(quoted))}, 123),
            "FbwfCommitFile(\"\\say <22>hi<22><E2><80><AE>\") = 123\n");
  EXPECT_EQ(Call(WfFunction::FbwfCommitFile, {CallArgument::Text(Units(unpaired))}, 123),
            "FbwfCommitFile((not a text)) = 123\n");
}

TEST(CallLine, ALongTextIsCutWithItsLengthAndTheLineStaysBounded) {
  const std::u16string longest(32767, u'\u65E5');  // 3 bytes of UTF-8 each
  const CallArgument arguments[] = {CallArgument::Text(Units(longest)), CallArgument::Text(Units(longest)),
                                    CallArgument::Text(Units(longest))};
  const CallLine line(WfFunction::FbwfAddExclusion, arguments, 3, 0);
  const std::string text(line.view());
  EXPECT_LE(text.size(), CallLine::kCapacity);
  EXPECT_TRUE(text.ends_with("\"... (32767 units)) = 0\n")) << text.substr(text.size() - 40);
  // Whole characters up to kTextBytes: 341 of 3 bytes.
  EXPECT_EQ(text.find("\"... (32767 units), \""), text.find('"') + 1 + 3 * 341);
}

}  // namespace
}  // namespace wfsim
