// The stand-in's operating-system calls that every platform writes alike.
#include "os/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "os/internal.h"

namespace os {

bool FixedPath::Set(const fs::path& folder, std::string_view name) {
  const fs::path::string_type& base = folder.native();
  const std::size_t size = base.size() + 1 + name.size();
  if (size >= std::size(units_)) return false;
  std::copy(base.begin(), base.end(), units_);
  units_[base.size()] = fs::path::preferred_separator;
  std::copy(name.begin(), name.end(), units_ + base.size() + 1);
  units_[size] = 0;
  return true;
}

fs::path::string_type NamedIn(const fs::path& folder, std::string_view name) {
  fs::path::string_type named;
  named.reserve(folder.native().size() + 1 + name.size());
  named = folder.native();
  named += fs::path::preferred_separator;
  named.append(name.begin(), name.end());
  return named;
}

std::string NativeHex(const fs::path& name) {
  std::string hex;
  char digits[8];
  for (const fs::path::value_type unit : name.native()) {
    const auto value = static_cast<unsigned>(static_cast<std::make_unsigned_t<fs::path::value_type>>(unit));
    std::snprintf(digits, sizeof digits, sizeof unit == 1 ? "%02x" : "%04x", value);
    hex += digits;
  }
  return hex;
}

char* FileText::Extend(std::size_t more) {
  if (capacity_ - size_ < more) {
    const std::size_t capacity = std::max(size_ + more, capacity_ * 2);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get() + size_;
}

ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, std::string& bytes) {
  FileText text;
  const ReadOutcome outcome = ReadRegularFile(path, limit, text);
  bytes.assign(text.view());
  return outcome;
}

bool WriteNewFile(const fs::path& path, std::span<const std::string_view> pieces) {
  if (!RemoveLeftover(path)) return false;
  if (CreateAndFlush(path, pieces)) return true;
  const KeptError kept;
  RemoveLeftover(path);
  return false;
}

bool ReplaceDurably(const fs::path& scratch, const fs::path& target,
                    std::span<const std::string_view> pieces) {
  if (!WriteNewFile(scratch, pieces)) return false;
  if (MoveDurably(scratch, target)) return true;
  const KeptError kept;
  RemoveLeftover(scratch);
  return false;
}

// After the rename the change is made: a flush that fails then is not a
// failure of the move.
bool MoveDurably(const fs::path& from, const fs::path& to) {
  const FolderFlush target(to.parent_path());
  const FolderFlush source(from.parent_path() == to.parent_path() ? fs::path() : from.parent_path());
  if (!target.ok() || !source.ok() || !Rename(from, to)) return false;
  target.Flush();
  source.Flush();
  return true;
}

}  // namespace os
