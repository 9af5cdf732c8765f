// Kills a process making changes to the stand-in's state at random moments,
// many times, and checks after each kill that `config` parses and equals the
// configuration after one of the changes, that no file of a volume or of the
// cache is half-written after an interrupted write or commit, and that an
// interrupted reboot left the old session with its whole cache or the new
// one with an empty cache. Then kills resets: after each, every call works and
// the machine is the old one, whole, or the new one.
//
//   crash_consistency SECONDS MAX_KILLS [RESET_KILLS]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "wfsim/base/text.h"
#include "wfsim/machine/machine.h"

namespace {

using namespace wfsim;

// Large enough that a write and a commit take a while to be interrupted.
std::string Content(std::size_t k) { return std::to_string(k) + "\n" + std::string(32 * 1024, char('a' + k % 26)); }

std::u16string Name(const char* prefix, std::size_t k) { return OperandUnits((std::string(prefix) + std::to_string(k)).c_str()); }

bool LoadConfig(const fs::path& dir, Config& config) {
  std::string text;
  ParseError error;
  return ReadRegularFile(dir / "config", 1u << 24, text) == ReadOutcome::kRead &&
         ParseConfig(text, ParseScope::kAll, config, error);
}

// Change k, forever: \fk, which the disk has had from the start, written to
// the cache and committed, \gk written to the cache and kept there, the
// exclusion \pk, and after every third a reboot.
[[noreturn]] void MakeChanges(const fs::path& dir) {
  StateFolder state(dir);
  Machine machine(state);
  for (;;) {
    Config config;
    if (!LoadConfig(dir, config)) _exit(3);
    const std::size_t k = config.next.exclusions.size();
    bool cached = false;
    machine.Write(u"C:", Name("\\f", k), Content(k), cached);
    machine.Commit(u"C:", Name("\\f", k));
    machine.Write(u"C:", Name("\\g", k), Content(k), cached);
    machine.AddExclusion(u"C:", Name("\\p", k));
    if (k % 3 == 2) machine.Reboot();
  }
}

bool Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "FAIL: %s%s\n", what, detail.c_str());
  return false;
}

constexpr std::size_t kDiskFiles = 4000;
const std::string kOriginal = "original\n";

// The files of `folder` that hold their change's whole content, by name
// (such as f12); any other file must still hold what the disk started with.
bool WholeFiles(const fs::path& folder, std::set<std::string>& names) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::string content;
    const bool read = ReadRegularFile(it->path(), 1u << 24, content) == ReadOutcome::kRead;
    if (read && name.size() >= 2 && content == Content(std::stoul(name.substr(1)))) {
      names.insert(name);
    } else if (!read || content != kOriginal) {
      return Fail("a half-written or stray file ", it->path().string());
    }
  }
  return true;
}

bool Exclusions(const std::vector<Exclusion>& exclusions) {
  for (std::size_t i = 0; i < exclusions.size(); ++i) {
    if (exclusions[i].path != "\\p" + std::to_string(i)) return Fail("exclusion out of order: ", exclusions[i].path);
  }
  return true;
}

bool Check(const fs::path& dir, std::size_t& changes, std::size_t& reboots) {
  Config config;
  if (!LoadConfig(dir, config)) return Fail("config does not parse after a kill");
  if (!Exclusions(config.next.exclusions) || !Exclusions(config.current.exclusions)) return false;
  if (!config.current.IsProtected('C') || !config.next.IsProtected('C')) return Fail("the settings changed");
  const std::size_t n = config.next.exclusions.size(), m = config.current.exclusions.size();
  if (m > n || m % 3 != 0) return Fail("the current session is not one a reboot made");
  std::set<std::string> disk, cache;
  if (!WholeFiles(dir / "volumes" / "C", disk) ||
      !WholeFiles(StateFolder(dir).CacheRoot(config, 'C'), cache)) {
    return false;
  }
  const std::string last = std::to_string(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!disk.count("f" + std::to_string(i))) return Fail("a committed file is missing: f", std::to_string(i));
    if (i >= m && !cache.erase("g" + std::to_string(i))) return Fail("a cached file is missing: g", std::to_string(i));
  }
  cache.erase("g" + last);
  cache.erase("f" + last);
  if (!cache.empty()) return Fail("the cache holds a file of another session: ", *cache.begin());
  changes = n;
  reboots = config.session;
  return true;
}

// The old machine of the reset phase: xpe, the filter on, C protected with
// `files` files on its disk and one in the cache, a file on D.
bool MakeOldMachine(StateFolder& state, Machine& machine, std::size_t files) {
  bool cached = false;
  if (!state.Reset(Config::Fresh(kReleases[0])).ok()) return false;
  for (std::size_t k = 0; k < files; ++k) {
    std::FILE* file = std::fopen((state.VolumeRoot('C') / ("f" + std::to_string(k))).c_str(), "wb");
    if (file == nullptr) return false;
    std::fputs(kOriginal.c_str(), file);
    std::fclose(file);
  }
  return machine.Write(u"D:", u"\\d.txt", "d", cached).ok() && machine.SetFeature(Feature::kFilter, true).ok() &&
         machine.Protect(u"C:").ok() && machine.Reboot().ok() &&
         machine.Write(u"C:", u"\\cached", "cached", cached).ok() && cached;
}

// Which machine the calls see, through the library's own operations: 1 the
// old one whole, 2 the new one, 0 anything else.
int WhichMachine(Machine& machine, std::size_t files) {
  std::uint32_t current = 0, next = 0;
  for (const char16_t* volume : {u"C:", u"D:"}) {
    if (!machine.QueryVolume(volume, &current, &next).ok()) return Fail("a volume is missing after a reset"), 0;
  }
  MachineView view;
  if (!machine.View(view).ok()) return Fail("the machine can't be read after a reset"), 0;
  std::string content;
  const bool old = std::string_view(view.config.release->name) == "xpe" && view.config.current.filter &&
                   view.files.size() == 1 && view.volumes.size() == 2 &&
                   view.volumes[0].actual_used == files * kUnitBytes &&
                   machine.ReadFile(u"C:", u"\\cached", content).ok() && content == "cached" &&
                   machine.ReadFile(u"D:", u"\\d.txt", content).ok();
  const bool fresh = std::string_view(view.config.release->name) == "wes7-x64" && !view.config.current.filter &&
                     view.files.empty() && view.volumes.size() == 2 && view.volumes[0].actual_used == 0 &&
                     view.volumes[1].actual_used == 0;
  bool cached = true;
  if (!machine.Write(u"D:", u"\\probe", "p", cached).ok() || cached) return Fail("a write fails after a reset"), 0;
  if (!old && !fresh) return Fail("a killed reset left neither the old machine nor the new"), 0;
  return old ? 1 : 2;
}

int ResetKills(const fs::path& dir, int kills, std::mt19937& random) {
  constexpr std::size_t kFiles = 600;
  StateFolder state(dir);
  Machine machine(state);
  // Kills fall anywhere in a reset: up to a little past how long one takes.
  if (!MakeOldMachine(state, machine, kFiles)) return Fail("could not make the old machine"), 1;
  const auto start = std::chrono::steady_clock::now();
  if (!state.Reset(Config::Fresh(kReleases[0])).ok()) return Fail("a reset failed"), 1;
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  std::uniform_int_distribution<long> delay_us(0, took.count() * 5 / 4);
  int seen[3] = {0, 0, 0};
  bool old = false;
  for (int i = 0; i < kills; ++i) {
    if (!old && !MakeOldMachine(state, machine, kFiles)) return Fail("could not make the old machine"), 1;
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) _exit(state.Reset(Config::Fresh(*FindRelease("wes7-x64"))).ok() ? 0 : 3);
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const int which = WhichMachine(machine, kFiles);
    ++seen[which];
    if (which == 0) break;
    old = which == 1;
  }
  std::printf("resets: %d killed or finished, %d left the old machine, %d the new, %d neither\n", kills, seen[1],
              seen[2], seen[0]);
  return seen[0] == 0 ? 0 : 1;
}

// The disk's files written, the filter on and C protected in force.
bool SetUp(StateFolder& state, Machine& machine) {
  if (!state.Prepare().ok()) return false;
  for (std::size_t k = 0; k < kDiskFiles; ++k) {
    std::FILE* file = std::fopen((state.VolumeRoot('C') / ("f" + std::to_string(k))).c_str(), "wb");
    if (file == nullptr) return false;
    std::fputs(kOriginal.c_str(), file);
    std::fclose(file);
  }
  return machine.SetFeature(Feature::kFilter, true).ok() && machine.Protect(u"C:").ok() && machine.Reboot().ok();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  const int max_kills = argc > 2 ? std::atoi(argv[2]) : 300;
  const int reset_kills = argc > 3 ? std::atoi(argv[3]) : 0;
  char pattern[] = "/tmp/vorlen-crash.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 2;
  const fs::path dir = fs::path(pattern) / "fbwfsim";
  StateFolder state(dir);
  Machine machine(state);
  if (!SetUp(state, machine)) {
    std::fprintf(stderr, "could not set up %s\n", dir.string().c_str());
    return 2;
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay_us(0, 30000);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int kills = 0;
  std::size_t changes = 0, reboots = 0;
  int result = 0;
  while (result == 0 && kills < max_kills && changes + 10 < kDiskFiles &&
         std::chrono::steady_clock::now() < deadline) {
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) MakeChanges(dir);
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFSIGNALED(status)) {
      std::fprintf(stderr, "FAIL: the changing process ended by itself (%d)\n", status);
      result = 1;
      break;
    }
    ++kills;
    result = Check(dir, changes, reboots) ? 0 : 1;
  }
  std::printf("crash consistency: %d processes killed, %zu changes and %zu reboots kept, "
              "every state whole: %s\n", kills, changes, reboots, result == 0 ? "yes" : "NO");
  if (result == 0 && reset_kills > 0) result = ResetKills(dir, reset_kills, random);
  std::error_code ec;
  fs::remove_all(pattern, ec);
  return result;
}
