// Times commands side by side: runs each command in turn, RUNS rounds, every run a child
// process with standard input from /dev/null and standard output to /dev/null, and prints
// per command its median and fastest wall time, its peak resident memory and its median
// processor time (user and system, from wait4). Alternating the commands run by run keeps a
// noisy machine's drift out of their ratio; the processor time leaves out the time spent
// waiting while other work had the processor, which on a busy machine is most of the noise.
//
// Usage: bench_timer RUNS CMD [ARGS...] [::: CMD [ARGS...]]...
// Output, one line per command in the order given:
//   median_s=0.123456 min_s=0.120000 peak_rss_kib=3584 runs=7 cpu_median_s=0.118000
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::vector<char*> argv;  // ends with nullptr
  std::vector<double> seconds;
  std::vector<double> cpu_seconds;
  long peak_rss_kib = 0;
};

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs `c` once; false when it could not be started or did not exit with status 0.
bool run_once(Command& c) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const double start = now();
  pid_t pid;
  const int err = posix_spawnp(&pid, c.argv[0], &actions, nullptr, c.argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) {
    std::fprintf(stderr, "bench_timer: cannot run %s: %s\n", c.argv[0], std::strerror(err));
    return false;
  }
  int status = 0;
  rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) {
    std::perror("bench_timer: wait4");
    return false;
  }
  const double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_timer: %s failed (status %d)\n", c.argv[0], status);
    return false;
  }
  c.seconds.push_back(elapsed);
  const auto in_seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  c.cpu_seconds.push_back(in_seconds(usage.ru_utime) + in_seconds(usage.ru_stime));
  c.peak_rss_kib = std::max(c.peak_rss_kib, usage.ru_maxrss);  // KiB on Linux
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
  if (runs < 1) {
    std::fprintf(stderr, "Usage: %s RUNS CMD [ARGS...] [::: CMD [ARGS...]]...\n", argv[0]);
    return 1;
  }
  std::vector<Command> commands(1);
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], ":::") == 0) {
      commands.emplace_back();
    } else {
      commands.back().argv.push_back(argv[i]);
    }
  }
  for (Command& c : commands) {
    if (c.argv.empty()) {
      std::fprintf(stderr, "bench_timer: empty command\n");
      return 1;
    }
    c.argv.push_back(nullptr);
  }
  for (int r = 0; r < runs; ++r) {
    for (Command& c : commands) {
      if (!run_once(c)) return 1;
    }
  }
  const auto median_of = [](std::vector<double>& s) {
    std::sort(s.begin(), s.end());
    return s.size() % 2 == 1 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
  };
  for (Command& c : commands) {
    const double median = median_of(c.seconds);
    std::printf("median_s=%.6f min_s=%.6f peak_rss_kib=%ld runs=%zu cpu_median_s=%.6f\n", median,
                c.seconds.front(), c.peak_rss_kib, c.seconds.size(), median_of(c.cpu_seconds));
  }
  return 0;
}
