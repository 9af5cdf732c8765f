// Injected failures: the faults file, one "FUNCTION CODE COUNT" a line.
#include <charconv>

#include "wfsim/state/files.h"
#include "wfsim/state/state.h"

namespace wfsim {

namespace {

constexpr std::size_t kFaultsLimit = 1u << 20;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// "FUNCTION CODE COUNT" a line, CODE and COUNT from 1; the number of the
// first line that is not, or 0.
std::size_t ParseFaults(std::string_view text, std::vector<Fault>& faults) {
  faults.clear();
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  for (std::size_t number = 1; !text.empty(); ++number) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    const auto first = line.find(' ');
    const auto second = line.find(' ', first + 1);
    if (first == 0 || first == std::string_view::npos || second == std::string_view::npos) return number;
    Fault fault{std::string(line.substr(0, first)), 0, 0};
    const char* code = line.data() + first + 1;
    const char* count = line.data() + second + 1;
    const auto [code_end, code_error] = std::from_chars(code, line.data() + second, fault.code);
    const auto [count_end, count_error] = std::from_chars(count, line.data() + line.size(), fault.count);
    if (code_error != std::errc() || code_end != line.data() + second || fault.code == 0 ||
        count_error != std::errc() || count_end != line.data() + line.size() || fault.count == 0) {
      return number;
    }
    faults.push_back(std::move(fault));
  }
  return 0;
}

}  // namespace

Outcome StateFolder::TakeFault(WfFunction function, std::optional<WfStatus>& fired) {
  fired.reset();
  if (Inspect(NamedIn(dir_, files::kFaults).c_str()).type == EntryType::kMissing) return kOk;
  return Exclusively([&]() -> Outcome {
    std::vector<Fault> faults;
    if (Outcome read = Faults(faults); !read.ok()) return read;
    const auto found = std::find_if(faults.begin(), faults.end(),
                                    [&](const Fault& f) { return f.function == NameOf(function); });
    if (found == faults.end()) return kOk;
    const WfStatus code = found->code;
    if (--found->count == 0) faults.erase(found);
    if (WriteFaults(faults).ok()) fired = code;
    return kOk;
  });
}

Outcome StateFolder::AddFault(const Fault& fault) {
  return Exclusively([&]() -> Outcome {
    std::vector<Fault> faults;
    if (Outcome read = Faults(faults); !read.ok()) return read;
    std::erase_if(faults, [&](const Fault& f) { return f.function == fault.function; });
    faults.push_back(fault);
    return WriteFaults(faults);
  });
}

Outcome StateFolder::ClearFaults() {
  return Exclusively([&]() -> Outcome {
    return WriteFaults({});
  });
}

Outcome StateFolder::Faults(std::vector<Fault>& faults) const {
  const fs::path file = dir_ / files::kFaults;
  std::string text;
  faults.clear();
  const ReadOutcome read = ReadRegularFile(file, kFaultsLimit, text);
  if (read == ReadOutcome::kMissing) return kOk;
  if (read != ReadOutcome::kRead) return ReadFailure(read, file, "1 MiB");
  if (const std::size_t line = ParseFaults(text, faults); line != 0) {
    return {kFileCorrupt, Quoted(file) + ", line " + std::to_string(line) +
                              ": expected FUNCTION CODE COUNT, both numbers from 1 (fbwfsim fail --clear "
                              "removes the file)"};
  }
  return kOk;
}

Outcome StateFolder::WriteFaults(const std::vector<Fault>& faults) {
  const fs::path file = dir_ / files::kFaults;
  std::error_code ec;
  if (faults.empty()) {
    if (fs::remove(file, ec) || !ec) return kOk;
    return ChangeFailed(Quoted(file) + " can't be removed", ec);
  }
  std::string text;
  for (const Fault& f : faults) {
    text += f.function + ' ' + std::to_string(f.code) + ' ' + std::to_string(f.count) + '\n';
  }
  if (ReplaceDurably(dir_ / files::kFaultsNew, file, text)) return kOk;
  return ChangeFailed(Quoted(file) + " can't be written");
}

}  // namespace wfsim
