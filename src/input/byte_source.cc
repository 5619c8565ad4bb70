#include "input/byte_source.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "driver/errors.h"

ByteSource::ByteSource(std::istream& in, std::string name) : stream_(&in), name_(std::move(name)) {}

ByteSource::ByteSource(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

bool ByteSource::refill() {
  if (at_end_) return false;
  if (end_ > 0) buf_[0] = buf_[end_ - 1];
  size_t got = 0;
  if (file_ != nullptr) {
    got = std::fread(buf_ + 1, 1, kBlock, file_);
    if (got == 0 && std::ferror(file_)) {
      fail(kExitError, "Error reading %s: %s", name_.c_str(), std::strerror(errno));
    }
  } else {
    std::streamsize n = stream_->rdbuf()->sgetn(buf_ + 1, static_cast<std::streamsize>(kBlock));
    got = n > 0 ? static_cast<size_t>(n) : 0;
  }
  if (got == 0) {
    // Remember the end: a terminal must not be asked again, and the bytes already read stay
    // where they are so that a byte put back at the end can still be read.
    at_end_ = true;
    return false;
  }
  pos_ = 1;
  end_ = got + 1;
  return true;
}
