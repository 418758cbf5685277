// What the in-process and the end-to-end tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "hubsim.h"

// The byte wait of a hub's port, in seconds: 10 s and 100 ms.
constexpr double kHubByteWait = 10.1;
// How far past it a native run may end: a few system calls, no more.
constexpr double kHubByteWaitSlack = 0.5;

using hubsim::NowMicros;
// Seconds since start_us, a NowMicros() time.
double SecondsSince(int64_t start_us);

// Whether done() becomes true within seconds, asked every millisecond:
// for what a test waits on that sends no word when it happens.
bool Eventually(const std::function<bool()>& done, double seconds = 10);

// Asserts an upper time bound where one holds: a native, unsanitized
// build (an emulator or a sanitizer slows everything down).
void ExpectAtMost(double seconds, double bound);

// What python3's json module reads at path ("[\"hubs\"][0]") in a
// document: a string as its code points taken as bytes, anything else as
// JSON again.
std::string ParsedByPython(const std::string& document,
                           const std::string& path);

// A folder of the test's own, removed with what is in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() and name.
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }

 private:
  std::string path_;
};
