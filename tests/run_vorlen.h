// Runs the tool's front end in-process against a fake and captures its output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "fake_write_filter.h"
#include "frontend/vorlen.h"

inline const std::string kBanner =
    "\nVORLEN - FBWF API Example\n"
    "Controls the File-Based Write Filter through its API library.\n\n";

inline const std::string kUsage =
    "\nVORLEN <Option>\n"
    "-enable\t\t\tEnable FBWF\n"
    "-disable\t\tDisable FBWF\n"
    "-enablecompression         Enable Compression\n"
    "-disablecompression        Disable Compression\n"
    "-enablecache\t\tEnable Cache PreAllocate\n"
    "-disablecache\t\tDisable Cache PreAllocate \n"
    "-protectvolume <volume>\tProtect a new volume\n"
    "-unprotectvolume <volume>\tProtect a new volume\n"
    "-fbwfstate\t\tGets the filter status\n"
    "-fbwfcompression\tGets the compresstion status\n"
    "-fbwfprealloc\t\tGets the Cache PreAllocation status\n"
    "-volumestatus <volume>\tGets the volume status\n"
    "-setcache <cache size>\tcache size must be between 16 and 1024\n"
    "-addex <drive> <file or path>\tadd a file or path to the exclusion list\n"
    "-remex <drive> <file or path>\tremove a file or path to the exclusion list\n"
    "-commit <drive> <file or path>\tcommits a file in cache to the disk\n"
    "-restore <drive> <file or path>\trestores a file in cache from the disk\n";

struct Outcome {
  int status;
  std::string output;
};

inline Outcome RunVorlenWith(FakeWriteFilter& fake, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"vorlen"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  std::FILE* out = std::tmpfile();
  const int status = RunVorlen(static_cast<int>(argv.size() - 1), argv.data(), fake, out);
  std::string output;
  std::rewind(out);
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) output.push_back(static_cast<char>(c));
  std::fclose(out);
  return {status, output};
}
