// Makes large, valid PDP-1 music files for the benchmarks: many voices, every statement and
// every note feature, measures that add up. The same size and seed always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Appends voices to `out` until it holds at least `target_bytes`; always at least one voice,
/// and the text ends after a whole voice.
void generate_music(std::string& out, size_t target_bytes, uint64_t seed);
