// What a command hands back, and where its lines go on the way.
//
// A command prints nothing itself: lines it has along the way (a scan's
// hub lines, as soon as each is known) go to the LineSink that main()
// hands it, and its end comes back as an Outcome: the one line still to
// print, if any, and the exit status. Only main() writes to the real
// output and exits.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t kExitSuccess = 0;
constexpr int32_t kExitFailure = 1;
// The command line itself is wrong.
constexpr int32_t kExitUsage = 2;

struct Outcome {
  std::string message;  // "" for none
  int32_t exit_status = kExitSuccess;

  bool Succeeded() const { return exit_status == kExitSuccess; }
};

inline Outcome Success() { return {}; }
inline Outcome Failure(std::string message) {
  return {std::move(message), kExitFailure};
}
inline Outcome UsageError(std::string message) {
  return {std::move(message), kExitUsage};
}

class LineSink {
 public:
  virtual ~LineSink() = default;
  // One line, without its newline; any byte may appear in it, NUL too.
  virtual void Line(const std::string& text) = 0;
  // Makes the lines so far visible now, not only when the run ends.
  virtual void Flush() {}
};
