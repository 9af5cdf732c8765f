#include "wfapi/library_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records each load it is asked for and whether the current folder was taken
// out of the search first; a file is there when it is in `present` or
// `broken`, and loads when it is in `present`.
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
  bool FileExists(const std::wstring& path) override { return Contains(present, path) || Contains(broken, path); }
  void* LoadFromPath(const std::wstring& path) override {
    asked.push_back(path);
    return Contains(present, path) ? this : nullptr;
  }
  void ExcludeCurrentFolder() override { asked.push_back(L"no current folder"); }
  static bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    for (const std::wstring& entry : list) {
      if (entry == item) return true;
    }
    return false;
  }
};

const std::wstring kBesideTool = L"C:\\Tools\\FBWFLIB.dll";
const std::wstring kInSystem = L"C:\\WINDOWS\\system32\\FBWFLIB.dll";
const std::wstring kNoCurrent = L"no current folder";

struct SearchCase {
  const char* label;
  bool flags;
  std::wstring own;
  std::vector<std::wstring> present, broken, asked;
  bool loaded;
};

TEST(LibrarySearch, FlagsWhereSupportedElseAbsolutePathsOwnFolderFirst) {
  const SearchCase cases[] = {
      {"flags supported", true, L"C:\\Tools", {}, {}, {kNoCurrent, L"flags:FBWFLIB.dll"}, true},
      {"beside the tool", false, L"C:\\Tools", {kBesideTool}, {}, {kNoCurrent, kBesideTool}, true},
      {"in the system folder", false, L"C:\\Tools", {kInSystem}, {}, {kNoCurrent, kInSystem}, true},
      {"nowhere", false, L"C:\\Tools", {}, {}, {kNoCurrent}, false},
      {"beside the tool but broken", false, L"C:\\Tools", {kInSystem}, {kBesideTool}, {kNoCurrent, kBesideTool},
       false},
      {"broken in the system folder", false, L"C:\\Tools", {}, {kInSystem}, {kNoCurrent, kInSystem}, false},
      {"own folder unknown", false, L"", {kInSystem}, {}, {kNoCurrent, kInSystem}, true},
      {"own folder a drive root", false, L"D:\\", {L"D:\\FBWFLIB.dll"}, {}, {kNoCurrent, L"D:\\FBWFLIB.dll"}, true},
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
