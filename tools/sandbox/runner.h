// Running a program as a child and collecting what it says.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sandbox {

struct RunResult {
  std::string out;         // everything written to standard output
  std::string err;         // everything written to standard error
  int status = -1;         // exit status, or 128 + signal number
  double seconds = 0;      // from start to exit
  bool timed_out = false;  // killed after the time limit
};

// Runs argv[0] (searched in PATH when it has no '/') with standard input
// from stdin_path, or closed when stdin_path is empty. The child is killed
// after timeout_seconds; with a signal number, it is sent that signal as
// soon as signal_when() is true (looked at every few milliseconds), or at
// once without it. The child starts with every signal
// at its default action and none blocked but those in blocked, and with
// no descriptor open but 0, 1 and 2, whatever the process that runs the
// tests was started with.
RunResult Run(const std::vector<std::string>& argv, double timeout_seconds,
              const std::string& stdin_path = "/dev/null", int signal = 0,
              const std::function<bool()>& signal_when = {},
              const std::vector<int>& blocked = {});

// A waitpid() status as a shell gives it: the exit status, or 128 + n when
// signal n ended the process; -1 for a process that has not ended.
int ShellStatus(int wait_status);

// Splits a launcher prefix such as "qemu-arm -L /usr/arm-linux-gnueabihf"
// at blanks.
std::vector<std::string> SplitWords(const std::string& text);

}  // namespace sandbox
