// Kills a process making changes to the stand-in's state at random moments,
// many times, and checks after each kill that `config` parses and equals the
// configuration before or after one of the changes, and that no file of a
// volume is half-written after an interrupted commit.
//
//   crash_consistency SECONDS MAX_KILLS
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "wfsim/machine.h"
#include "wfsim/text.h"

namespace {

using namespace wfsim;

// Large enough that a write and a commit take a while to be interrupted.
std::string Content(std::size_t k) { return std::to_string(k) + "\n" + std::string(32 * 1024, char('a' + k % 26)); }

std::u16string Name(const char* prefix, std::size_t k) { return OperandUnits((std::string(prefix) + std::to_string(k)).c_str()); }

bool LoadConfig(const fs::path& dir, Config& config) {
  std::string text;
  bool too_large = false;
  ParseError error;
  return ReadRegularFile(dir / "config", 1u << 24, text, too_large) &&
         ParseConfig(text, ParseScope::kAll, config, error);
}

// One change after another, forever: a cached write, its commit, an exclusion.
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
    machine.AddExclusion(u"C:", Name("\\p", k));
  }
}

int Check(const fs::path& dir, std::size_t& changes) {
  Config config;
  if (!LoadConfig(dir, config)) {
    std::fprintf(stderr, "FAIL: config does not parse after a kill\n");
    return 1;
  }
  // The exclusions must be those of the first n changes, in order.
  const auto& exclusions = config.next.exclusions;
  for (std::size_t i = 0; i < exclusions.size(); ++i) {
    if (exclusions[i].path != "\\p" + std::to_string(i)) {
      std::fprintf(stderr, "FAIL: exclusion %zu is %s\n", i, exclusions[i].path.c_str());
      return 1;
    }
  }
  if (!config.current.IsProtected('C') || !config.next.IsProtected('C')) {
    std::fprintf(stderr, "FAIL: the settings changed\n");
    return 1;
  }
  changes = exclusions.size();
  for (const fs::path& root : {dir / "volumes" / "C", dir / "cache" / "C"}) {
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      std::string content;
      bool too_large = false;
      const bool read = ReadRegularFile(it->path(), 1u << 24, content, too_large);
      if (!read || name.size() < 2 || name[0] != 'f' || content != Content(std::stoul(name.substr(1)))) {
        std::fprintf(stderr, "FAIL: %s holds a half-written or stray file %s\n",
                     root.string().c_str(), name.c_str());
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  const int max_kills = argc > 2 ? std::atoi(argv[2]) : 300;
  char pattern[] = "/tmp/vorlen-crash.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 2;
  const fs::path dir = fs::path(pattern) / "fbwfsim";
  StateFolder state(dir);
  Machine machine(state);
  if (state.Prepare() != 0 || machine.SetFeature(Feature::kFilter, true) != 0 ||
      machine.Protect(u"C:") != 0 || machine.Reboot() != 0) {
    std::fprintf(stderr, "could not set up %s\n", dir.string().c_str());
    return 2;
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay_us(0, 30000);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int kills = 0;
  std::size_t changes = 0;
  int result = 0;
  while (result == 0 && kills < max_kills && std::chrono::steady_clock::now() < deadline) {
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
    result = Check(dir, changes);
  }
  std::printf("crash consistency: %d processes killed, %zu changes kept, config always parsed: %s\n",
              kills, changes, result == 0 ? "yes" : "NO");
  std::error_code ec;
  fs::remove_all(pattern, ec);
  return result;
}
