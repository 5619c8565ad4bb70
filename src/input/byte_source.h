// Owns the bytes of the input: the one place that reads from the operating system or from a
// caller's stream. It reads in large blocks, so that taking a byte is an index into a buffer;
// it keeps one byte of pushback, and it knows the offset of every byte it hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace pn2tavix::detail {

class ByteSource {
 public:
  static constexpr int kEof = -1;

  /// Reads from a stream, which must have a buffer, naming it `name` in a read error.
  ByteSource(std::istream& in, std::string name);
  /// Reads from an open file, naming it `name` in a read error.
  ByteSource(std::FILE* file, std::string name);
  /// Reads bytes held in memory, which must outlive the source; they are not copied.
  explicit ByteSource(std::string_view bytes);
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  /// The next byte as 0..255, or kEof.
  int get() {
    if (pos_ < end_) return static_cast<unsigned char>(data_[pos_++]);
    return refill() ? static_cast<unsigned char>(data_[pos_++]) : kEof;
  }
  /// The next byte without taking it.
  int peek() {
    if (pos_ < end_) return static_cast<unsigned char>(data_[pos_]);
    return refill() ? static_cast<unsigned char>(data_[pos_]) : kEof;
  }
  /// Gives back the byte taken last, so that it is the next byte read: valid once after a
  /// get() or a skip(), also at end of input (a token "r4/" at the very end of a file must not
  /// lose its bar line). The byte is still in the buffer: a refill keeps the last byte of the
  /// block before.
  void unget() { --pos_; }
  /// The bytes read from the input and not yet taken, for a caller that takes a whole run of
  /// them at once; empty when the block is used up (peek() then reads the next one).
  std::string_view buffered() const { return {data_ + pos_, end_ - pos_}; }
  /// Takes the first `n` bytes of buffered().
  void skip(size_t n) { pos_ += n; }
  /// The offset in the input of the next byte, that is, the bytes taken so far.
  std::uint64_t offset() const { return origin_ + pos_; }

  /// Whether the end of input that get() and peek() give is a read error: then it stays the
  /// end, and the error is told by name() and reason().
  bool failed() const { return error_ != 0; }
  const std::string& name() const { return name_; }
  std::string_view reason() const;
  /// Whether a call into the caller's stream buffer is under way: an exception that it throws
  /// leaves this set, so that whoever catches it knows it came from reading.
  bool in_caller_stream() const { return in_caller_stream_; }

 private:
  bool refill();

  static constexpr size_t kBlock = 64 * 1024;
  std::istream* stream_ = nullptr;
  std::FILE* file_ = nullptr;
  std::string name_;
  bool at_end_ = false;
  int error_ = 0;  // the system's error number of a failed read; 0 while none has failed
  bool in_caller_stream_ = false;
  const char* data_ = nullptr;  // the block: buffer_, or the caller's bytes
  size_t pos_ = 0;
  size_t end_ = 0;
  std::uint64_t origin_ = 0;  // the offset in the input of data_[0]
  // One byte in front of each block keeps the last byte of the block before, so that unget()
  // after a refill still has it.
  std::unique_ptr<char[]> buffer_;
};

}  // namespace pn2tavix::detail
