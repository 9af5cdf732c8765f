// vorlen's two lists are written once: its options in CommandTable, the
// library functions it calls in WriteFilter. Every other copy is checked
// against them, so an option or a function added in one place only fails
// here.
#include "frontend/command_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "wfapi/wfapi.h"

namespace {

std::string SourceFile(const std::string& name) {
  std::ifstream in(std::string(VORLEN_SOURCE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The words of `text` that `pattern` captures in its first group.
std::set<std::string> Captured(const std::string& text, const std::regex& pattern) {
  std::set<std::string> words;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
    words.insert((*it)[1].str());
  }
  return words;
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t start = text.find(from);
  if (start == std::string::npos) return "";
  const std::size_t end = text.find(to, start + from.size());
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

struct Copy {
  const char* where;
  std::set<std::string> options;
  bool names_help;  // lists the front end's -help beside the table's options
};

TEST(OneListOfOptions, EveryCopyNamesExactlyTheTablesOptions) {
  std::set<std::string> table;
  for (const CommandRow& row : CommandTable) table.insert(row.option);
  const std::regex words_of_a_line("(?:^|\\n)(-[a-z?]+)");
  const std::regex words("(?:^|[\\s\"|])(-[a-z?]+)");
  // Each option a tagged paragraph names in bold: ".B \-enable", ".BR \-x \", \" \-y".
  const std::regex roff_line("\\n(\\.B[IR]? [^\\n]*)");
  const std::regex roff_words("\\\\(-[a-z?]+)");
  const std::string completion = Between(SourceFile("completion/vorlen.bash"), "local options=\"", "\"\n");
  const std::string manual = Between(SourceFile("man/vorlen.1"), ".SH OPTIONS", "\n.SH ");
  const std::string readme = Between(SourceFile("README.md"), "\n## Options\n", "\n\nOptions match");
  std::set<std::string> manual_options;
  for (const std::string& line : Captured(manual, roff_line)) manual_options.merge(Captured(line, roff_words));
  const Copy copies[] = {
      {"the usage text", Captured(SourceFile("tests/golden/usage.txt"), words_of_a_line), false},
      {"the completion", Captured(completion.substr(completion.find('"')), words), true},
      {"vorlen.1", manual_options, true},
      {"the README's options", Captured(readme, words), true},
  };
  for (const Copy& copy : copies) {
    std::set<std::string> expected = table;
    if (copy.names_help) expected.insert("-help");
    std::set<std::string> got = copy.options;
    got.erase("-?");
    EXPECT_EQ(got, expected) << copy.where;
  }
}

// The functions WriteFilter declares: each of the library's, in its order,
// and the same in the loaded library's class, its definitions and the fake.
TEST(OneListOfFunctions, EveryCopyOfVorlensFunctionsNamesTheInterfaces) {
  const std::regex declared("virtual WfStatus (Fbwf\\w+)\\(");
  const std::set<std::string> interface = Captured(SourceFile("src/wfapi/write_filter.h"), declared);
  EXPECT_EQ(interface.size(), 17u);
  const std::set<std::string> library(std::begin(kWfFunctionNames), std::end(kWfFunctionNames));
  for (const std::string& name : interface) EXPECT_TRUE(library.count(name)) << name;
  const std::regex overridden("WfStatus (Fbwf\\w+)\\([^)]*\\)[^;{]*override");
  const std::regex defined("WfStatus LibraryWriteFilter::(Fbwf\\w+)\\(");
  EXPECT_EQ(Captured(SourceFile("src/wfapi/library_write_filter.h"), overridden), interface);
  EXPECT_EQ(Captured(SourceFile("src/wfapi/library_write_filter.cpp"), defined), interface);
  EXPECT_EQ(Captured(SourceFile("tests/fake_write_filter.h"), overridden), interface);
}

}  // namespace
