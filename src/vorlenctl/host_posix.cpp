#include "vorlenctl/host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <memory>

extern char** environ;

namespace ctl::host {

PathFacts Inspect(const std::string& path) {
  struct stat facts {};
  if (lstat(path.c_str(), &facts) != 0) return {};
  PathKind kind = PathKind::kOther;
  if (S_ISREG(facts.st_mode)) kind = PathKind::kFile;
  if (S_ISDIR(facts.st_mode)) kind = PathKind::kFolder;
  if (S_ISLNK(facts.st_mode)) kind = PathKind::kLink;
  return {kind, facts.st_uid == geteuid(), static_cast<std::uint64_t>(facts.st_size)};
}

namespace {

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t wrote = write(fd, text.data() + at, text.size() - at);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    at += static_cast<std::size_t>(wrote);
  }
  return true;
}

bool WriteFile(const std::string& path, const std::string& text, int flags) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | flags, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text);
  return close(fd) == 0 && written;
}

}  // namespace

std::int64_t NowSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

bool Append(const std::string& path, const std::string& text) { return WriteFile(path, text, O_APPEND); }

bool Replace(const std::string& path, const std::string& text) {
  // A scratch file of the writer's own, made new: two writers of one file
  // never share it.
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::string scratch = path + "." + std::to_string(now.tv_sec) + std::to_string(now.tv_nsec) + ".new";
  if (WriteFile(scratch, text, O_EXCL) && rename(scratch.c_str(), path.c_str()) == 0) return true;
  // What could not be finished is kept as the one PATH.new, for a look.
  rename(scratch.c_str(), (path + ".new").c_str());
  return false;
}

std::optional<std::string> Read(const std::string& path, std::size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text(limit, '\0');
  std::size_t got = 0;
  for (ssize_t n; got < limit && (n = read(fd, text.data() + got, limit - got)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return close(fd), std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  text.resize(got);
  return text;
}

bool RenameOver(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

DeviceLock::~DeviceLock() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool DeviceLock::Take(const std::string& path, unsigned wait_ms) {
  // flock is looked up when a lock is taken, not bound at start, which a set
  // with nothing to change never pays for.
  using Flock = int (*)(int, int);
  const auto flock_call = reinterpret_cast<Flock>(dlsym(RTLD_DEFAULT, "flock"));
  if (flock_call == nullptr || !MakeParentFolders(path)) return false;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  for (unsigned waited = 0;; waited += 50) {
    if (flock_call(fd, LOCK_EX | LOCK_NB) == 0) return handle_ = fd, true;
    if (errno != EWOULDBLOCK || waited >= wait_ms) break;
    poll(nullptr, 0, 50);
  }
  close(fd);
  return false;
}

std::optional<std::string> DefaultGuardHistory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/vorlen/guard.jsonl";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/state/vorlen/guard.jsonl";
  return std::nullopt;
}

namespace {

// The eventfd a stop request is told through: a signal handler has nowhere
// else to find it.
int stop_event = -1;

void RequestStop(int) {
  const int saved = errno;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = write(stop_event, &one, sizeof one);
  errno = saved;
}

// What a passed deadline says, where its signal handler finds it.
char deadline_line[512];
std::size_t deadline_length = 0;
int deadline_status = 0;

void DeadlinePassed(int) {
  [[maybe_unused]] const ssize_t ignored = write(STDOUT_FILENO, deadline_line, deadline_length);
  _exit(deadline_status);
}

class PosixSystem final : public GuardSystem {
 public:
  bool Open(std::string& error) {
    event_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event_ < 0 || stop_ < 0) {
      error = std::string("no event can be made: ") + std::strerror(errno);
      return false;
    }
    stop_event = stop_;
    // Made whole by the zeroing: an empty mask. A child's exec resets handlers.
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
  }
  ~PosixSystem() override {
    if (event_ >= 0) close(event_);
  }

  void* NotificationEvent() override { return reinterpret_cast<void*>(static_cast<std::intptr_t>(event_)); }

  Woken Wait(unsigned milliseconds) override {
    pollfd watched[] = {{stop_, POLLIN, 0}, {event_, POLLIN, 0}};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      const int ready = poll(watched, 2, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready < 0 && errno == EINTR) continue;
      if (watched[0].revents != 0) return Woken::kStop;
      if (watched[1].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(event_, &count, sizeof count);
        return Woken::kNotified;
      }
      if (ready <= 0) return Woken::kTimeout;
    }
  }

  std::int64_t Now() override { return NowSeconds(); }

  void Report(const GuardEvent& event, const std::string& text) override {
    std::fprintf(stderr, "vorlenctl guard: event %u %.*s: %s\n", event.id, static_cast<int>(event.name.size()),
                 event.name.data(), text.c_str());
    std::fflush(stderr);
  }

  CommandResult Run(const std::string& command, const std::vector<std::string>& environment, unsigned timeout_ms) override;

 private:
  bool StopRequested() {
    pollfd watched{stop_, POLLIN, 0};
    return poll(&watched, 1, 0) > 0;
  }

  int event_ = -1;
  int stop_ = -1;  // polled, never drained: a stop, once requested, stays
};

CommandResult PosixSystem::Run(const std::string& command, const std::vector<std::string>& environment,
                               unsigned timeout_ms) {
  std::vector<std::string> own = environment;
  std::vector<char*> envp;
  for (std::string& entry : own) envp.push_back(entry.data());
  for (char** inherited = environ; *inherited != nullptr; ++inherited) {
    if (std::string_view(*inherited).substr(0, 7) != "VORLEN_") envp.push_back(*inherited);
  }
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);  // its own group, so that the limit stops all it started
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = 0;
  const int failed = posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), envp.data());
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) return {CommandResult::End::kNotStarted, 0, std::strerror(failed)};
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  CommandResult::End end = CommandResult::End::kExited;
  for (int status = 0;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      if (end != CommandResult::End::kExited) return {end, 0, ""};
      return {end, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ""};
    }
    if (end == CommandResult::End::kExited && (StopRequested() || std::chrono::steady_clock::now() >= until)) {
      end = StopRequested() ? CommandResult::End::kStopped : CommandResult::End::kTimedOut;
      kill(-child, SIGKILL);
    }
    poll(nullptr, 0, 20);
  }
}

}  // namespace

bool RunGuardHere(FilterLibrary& library, const GuardOptions& options, std::string& error) {
  PosixSystem system;
  if (!system.Open(error)) return false;
  RunGuard(library, system, options);
  return true;
}

namespace {
constexpr const char* kNoServices =
    "services are Windows's; here run the guard from systemd or another supervisor (see vorlenctl(1))";
}

std::string InstallGuardService(const std::vector<std::string>&) { return kNoServices; }
std::string UninstallGuardService() { return kNoServices; }

// A timer signal rather than a thread: vorlenctl starts with no threads
// library bound.
Deadline::Deadline(unsigned seconds, const std::string& line, int status) {
  std::fflush(stdout);
  deadline_length = std::min(line.size(), sizeof deadline_line);
  std::memcpy(deadline_line, line.data(), deadline_length);
  deadline_status = status;
  struct sigaction action {};
  action.sa_handler = DeadlinePassed;
  sigaction(SIGALRM, &action, nullptr);
  alarm(seconds);
  native_ = this;
}

void Deadline::Answered() {
  if (native_ != nullptr) alarm(0);
  native_ = nullptr;
}

}  // namespace ctl::host
