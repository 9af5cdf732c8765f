#include "wfapi/library_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records each load it is asked for; a path loads when it is in `present`,
// and is "not there" unless it is in `broken`.
struct FakeLoader final : WindowsLoader {
  bool flags = false;
  std::wstring own = L"C:\\Tools", system = L"C:\\WINDOWS\\system32";
  std::vector<std::wstring> present, broken, asked;

  bool HasSearchFlags() override { return flags; }
  void* LoadWithSearchFlags(const wchar_t* name) override {
    asked.push_back(L"flags:" + std::wstring(name));
    return this;
  }
  std::wstring ApplicationFolder() override { return own; }
  std::wstring SystemFolder() override { return system; }
  void* LoadFromPath(const std::wstring& path, bool& not_there) override {
    asked.push_back(path);
    not_there = !Contains(broken, path);
    return Contains(present, path) ? this : nullptr;
  }
  static bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    for (const std::wstring& entry : list) {
      if (entry == item) return true;
    }
    return false;
  }
};

const std::wstring kBesideTool = L"C:\\Tools\\FBWFLIB.dll";
const std::wstring kInSystem = L"C:\\WINDOWS\\system32\\FBWFLIB.dll";

struct SearchCase {
  const char* label;
  bool flags;
  std::wstring own;
  std::vector<std::wstring> present, broken, asked;
  bool loaded;
};

TEST(LibrarySearch, FlagsWhereSupportedElseAbsolutePathsOwnFolderFirst) {
  const SearchCase cases[] = {
      {"flags supported", true, L"C:\\Tools", {}, {}, {L"flags:FBWFLIB.dll"}, true},
      {"beside the tool", false, L"C:\\Tools", {kBesideTool}, {}, {kBesideTool}, true},
      {"in the system folder", false, L"C:\\Tools", {kInSystem}, {}, {kBesideTool, kInSystem}, true},
      {"nowhere", false, L"C:\\Tools", {}, {}, {kBesideTool, kInSystem}, false},
      {"beside the tool but broken", false, L"C:\\Tools", {kInSystem}, {kBesideTool}, {kBesideTool},
       false},
      {"own folder unknown", false, L"", {kInSystem}, {}, {kInSystem}, true},
      {"own folder a drive root", false, L"D:\\", {}, {}, {L"D:\\FBWFLIB.dll", kInSystem}, false},
  };
  for (const SearchCase& c : cases) {
    FakeLoader loader;
    loader.flags = c.flags;
    loader.own = c.own;
    loader.present = c.present;
    loader.broken = c.broken;
    EXPECT_EQ(LoadWriteFilterLibrary(loader) != nullptr, c.loaded) << c.label;
    EXPECT_EQ(loader.asked, c.asked) << c.label;
  }
}

}  // namespace
