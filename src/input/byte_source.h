// Owns the bytes of the input: the one place that reads from the operating system. It reads in
// large blocks, so taking a byte is an index into a buffer, and it keeps one byte of pushback.
#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>
#include <string>
#include <string_view>

class ByteSource {
 public:
  static constexpr int kEof = -1;

  /// Reads from a stream (standard input, or text held in memory by a test).
  ByteSource(std::istream& in, std::string name);
  /// Reads from an open file; a read error ends the run naming `name`.
  ByteSource(std::FILE* file, std::string name);
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  /// The next byte as 0..255, or kEof.
  int get() {
    if (pos_ < end_) return static_cast<unsigned char>(buf_[pos_++]);
    return refill() ? static_cast<unsigned char>(buf_[pos_++]) : kEof;
  }
  /// The next byte without taking it.
  int peek() {
    if (pos_ < end_) return static_cast<unsigned char>(buf_[pos_]);
    return refill() ? static_cast<unsigned char>(buf_[pos_]) : kEof;
  }
  /// Puts `c` back so that it is the next byte read; valid once after a get(), also at end of
  /// input (a token "r4/" at the very end of a file must not lose its bar line).
  void unget(char c) {
    if (pos_ > 0) buf_[--pos_] = c;
  }
  /// The bytes read from the input and not yet taken, for a caller that takes a whole run of
  /// them at once; empty when the block is used up (peek() then reads the next one).
  std::string_view buffered() const { return {buf_ + pos_, end_ - pos_}; }
  /// Takes the first `n` bytes of buffered().
  void skip(size_t n) { pos_ += n; }

 private:
  bool refill();

  static constexpr size_t kBlock = 64 * 1024;
  std::istream* stream_ = nullptr;
  std::FILE* file_ = nullptr;
  std::string name_;
  bool at_end_ = false;
  size_t pos_ = 0;
  size_t end_ = 0;
  // One byte in front of each block keeps the last byte of the block before, so unget() after a
  // refill still has room.
  char buf_[kBlock + 1];
};
