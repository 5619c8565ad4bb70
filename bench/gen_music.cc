// Writes a large, valid PDP-1 music file to standard output for the benchmarks, or many small
// ones into a folder (seeds 1 to COUNT), as an archive of pieces is.
// Usage: gen_music SIZE [SEED]   SIZE in bytes, or with a K or M suffix (1M = 1048576).
//        gen_music --pieces COUNT SIZE FOLDER
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

// Writes `count` pieces of at least `size` bytes (whole voices, so 2K gives 5.8 KB on
// average) as FOLDER/piece-NNNNN.pdp1.
int write_pieces(const char* count_text, const char* size_text, const std::string& folder) {
  size_t size = 0;
  const unsigned long count = std::strtoul(count_text, nullptr, 10);
  if (!parse_size(size_text, size) || count == 0) {
    std::fprintf(stderr, "Usage: gen_music --pieces COUNT SIZE[K|M] FOLDER\n");
    return 1;
  }
  std::string music;
  for (unsigned long i = 1; i <= count; ++i) {
    music.clear();
    generate_music(music, size, i);
    char name[32];
    std::snprintf(name, sizeof name, "/piece-%05lu.pdp1", i);
    std::FILE* f = std::fopen((folder + name).c_str(), "wb");
    if (f == nullptr || std::fwrite(music.data(), 1, music.size(), f) != music.size() ||
        std::fclose(f) != 0) {
      std::perror(("gen_music: writing " + folder + name).c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--pieces") return write_pieces(argv[2], argv[3], argv[4]);
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
