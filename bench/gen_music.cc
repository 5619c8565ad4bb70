// Writes a large, valid PDP-1 music file to standard output for the benchmarks.
// Usage: gen_music SIZE [SEED]   SIZE in bytes, or with a K or M suffix (1M = 1048576).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "music_gen.h"

namespace {

bool parse_size(const char* text, size_t& size) {
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  if (end == text) return false;
  unsigned long long scale = 1;
  if (*end == 'K' || *end == 'k') scale = 1024, ++end;
  if (*end == 'M' || *end == 'm') scale = 1024 * 1024, ++end;
  if (*end != '\0') return false;
  size = static_cast<size_t>(n * scale);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t size = 0;
  if (argc < 2 || argc > 3 || !parse_size(argv[1], size)) {
    std::fprintf(stderr, "Usage: %s SIZE[K|M] [SEED]\n", argv[0]);
    return 1;
  }
  const uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
  std::string music;
  music.reserve(size + 64 * 1024);
  generate_music(music, size, seed);
  if (std::fwrite(music.data(), 1, music.size(), stdout) != music.size() ||
      std::fflush(stdout) != 0) {
    std::perror("gen_music: writing standard output");
    return 1;
  }
  return 0;
}
