#include "input/byte_source.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace pn2tavix::detail {

ByteSource::ByteSource(std::istream& in, std::string name)
    : stream_(&in), name_(std::move(name)), buffer_(new char[kBlock + 1]) {
  data_ = buffer_.get();
}

ByteSource::ByteSource(std::FILE* file, std::string name)
    : file_(file), name_(std::move(name)), buffer_(new char[kBlock + 1]) {
  data_ = buffer_.get();
}

ByteSource::ByteSource(std::string_view bytes)
    : at_end_(true), data_(bytes.data()), end_(bytes.size()) {}

std::string_view ByteSource::reason() const { return std::strerror(error_); }

bool ByteSource::refill() {
  if (at_end_) return false;
  char* buf = buffer_.get();
  if (end_ > 0) buf[0] = buf[end_ - 1];
  size_t got = 0;
  if (file_ != nullptr) {
    errno = 0;
    got = std::fread(buf + 1, 1, kBlock, file_);
    if (got == 0 && std::ferror(file_)) {
      // Told as the end of input from here on: the token reader asks failed() at every end.
      error_ = errno != 0 ? errno : EIO;
      at_end_ = true;
      return false;
    }
  } else {
    in_caller_stream_ = true;
    const std::streamsize n =
        stream_->rdbuf()->sgetn(buf + 1, static_cast<std::streamsize>(kBlock));
    in_caller_stream_ = false;
    got = n > 0 ? static_cast<size_t>(n) : 0;
  }
  if (got == 0) {
    // Remember the end: a terminal must not be asked again, and the bytes already read stay
    // where they are so that a byte given back at the end can still be read.
    at_end_ = true;
    return false;
  }
  // The last byte of the block before is data_[0] now; the first block starts at data_[1].
  origin_ = end_ == 0 ? ~std::uint64_t{0} : origin_ + (end_ - 1);
  pos_ = 1;
  end_ = got + 1;
  return true;
}

}  // namespace pn2tavix::detail
