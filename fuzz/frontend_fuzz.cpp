// The whole front end, from an argument vector built of the input (arguments
// separated by zero bytes) to its output, against the scripted fake library.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_write_filter.h"
#include "frontend/vorlen.h"

namespace {

const char kBanner[] =
    "\nVORLEN - FBWF API Example\n"
    "Controls the File-Based Write Filter through its API library.\n\n";

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "front end fault: %s\n", what);
    std::abort();
  }
}

// ASCII reaches the library unit for byte; anything else never takes more
// units than it has bytes, and never a zero unit.
bool PlausiblyWidened(const std::u16string& units, const std::string& operand) {
  bool ascii = true;
  for (char c : operand) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return units == std::u16string(operand.begin(), operand.end());
  return units.size() <= operand.size() && units.find(u'\0') == std::u16string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakeWriteFilter fake;
  // The first byte scripts the library's answer.
  if (size > 0) {
    constexpr WfStatus kResults[] = {0, 1, 2, 87, 123, 0xFFFFFFFF, 0x80000000u, 126};
    fake.result = kResults[data[0] % 8];
    fake.state = {data[0] & 0x10u, data[0] & 0x20u ? 0xFFFFFFFFu : 0u};
    ++data;
    --size;
  }
  std::vector<std::string> args;
  if (size > 0) {
    args.emplace_back();
    for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
      if (data[i] == 0) {
        args.emplace_back();
      } else {
        args.back().push_back(static_cast<char>(data[i]));
      }
    }
  }
  std::vector<const char*> argv{"vorlen"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size() - 1);

  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* out = open_memstream(&buffer, &length);
  const int status = RunVorlen({argc, argv.data()}, fake, out);
  std::fclose(out);
  const std::string output(buffer, length);
  std::free(buffer);

  Require(output.compare(0, sizeof kBanner - 1, kBanner) == 0, "output does not open with the banner");
  Require(status == (argc < 2 ? 1 : 0), "wrong exit status");
  Require(fake.calls.size() <= 1, "more than one library call");
  Require(!fake.unterminated_text, "a text handed over is not terminated within its buffer");
  if (!fake.calls.empty()) {
    const std::vector<std::u16string>& texts = fake.calls[0].texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      Require(PlausiblyWidened(texts[i], args[1 + i]), "a text handed over differs from its operand");
    }
  }
  return 0;
}
