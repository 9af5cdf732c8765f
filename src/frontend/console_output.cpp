#include "frontend/console_output.h"

#include "text/utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Both ends of a pipe that holds far more than a run prints; -1 on failure.
bool OpenPipe(int ends[2]) {
#ifdef _WIN32
  return _pipe(ends, 1 << 16, _O_BINARY) == 0;
#else
  return pipe(ends) == 0;
#endif
}

std::FILE* StreamOf(int fd) {
#ifdef _WIN32
  return _fdopen(fd, "wb");
#else
  return fdopen(fd, "w");
#endif
}

std::string ReadAll(int fd) {
  std::string bytes;
  char buffer[1024];  // frames stay under a page: no stack probe on Windows
  for (;;) {
#ifdef _WIN32
    const int got = _read(fd, buffer, sizeof buffer);
#else
    const auto got = read(fd, buffer, sizeof buffer);
#endif
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
#ifdef _WIN32
  _close(fd);
#else
  close(fd);
#endif
  return bytes;
}

}  // namespace

int RunToConsoleOr(Console& console, std::FILE* out, WritingRun run, void* context) {
  int ends[2];
  if (!console.IsConsole() || !OpenPipe(ends)) return run(out, false, context);
  std::FILE* held = StreamOf(ends[1]);
  if (held == nullptr) return run(out, false, context);
  const int status = run(held, true, context);
  std::fclose(held);
  const std::string bytes = ReadAll(ends[0]);
  std::u16string units;
  text::ForEachOperandUnit(bytes.c_str(), [&](char16_t unit) { units.push_back(unit); });
  console.Write(units);
  return status;
}
