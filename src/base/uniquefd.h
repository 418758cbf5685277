// A descriptor that one object owns: closed when the object goes, on
// every path.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

// Whether an open() that failed with error did so because the run, not
// the file, is short of descriptors.
inline bool IsOutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE;
}

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int32_t fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int32_t get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes what it holds and takes fd. Linux frees a descriptor even when
  // close() reports an error, so there is nothing to do about one.
  void Reset(int32_t fd = -1) {
    if (fd_ >= 0) (void)close(fd_);
    fd_ = fd;
  }
  int32_t Release() { return std::exchange(fd_, -1); }

 private:
  int32_t fd_ = -1;
};
