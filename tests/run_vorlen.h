// Runs the tool's front end in-process against a fake and captures its output.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_write_filter.h"
#include "frontend/vorlen.h"

// One copy of each expected text, shared with the end-to-end scripts.
inline std::string GoldenText(const char* name) {
  std::string text;
  const std::string path = std::string(VORLEN_GOLDEN_DIR "/") + name;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text.push_back(static_cast<char>(c));
    std::fclose(file);
  }
  if (text.empty()) throw std::runtime_error("cannot read " + path);
  return text;
}

inline const std::string kBanner = GoldenText("banner.txt");
inline const std::string kUsage = GoldenText("usage.txt");

struct Outcome {
  int status;
  std::string output;
};

// A run with the arguments as given, its output read back whole.
inline Outcome RunVorlenWith(FakeWriteFilter& fake, const CommandLine& line) {
  std::FILE* out = std::tmpfile();
  const int status = RunVorlen(line, fake, out);
  std::string output;
  std::rewind(out);
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) output.push_back(static_cast<char>(c));
  std::fclose(out);
  return {status, output};
}

inline Outcome RunVorlenWith(FakeWriteFilter& fake, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"vorlen"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  return RunVorlenWith(fake, {static_cast<int>(argv.size() - 1), argv.data()});
}
