#include "runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/uniquefd.h"

extern char** environ;

namespace hubsim {

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  for (size_t start = 0; start < text.size();) {
    const size_t blank = std::min(text.find(' ', start), text.size());
    if (blank > start) words.push_back(text.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

RunResult Run(const std::vector<std::string>& argv, double timeout_seconds,
              const std::string& stdin_path, int signal,
              const std::function<bool()>& signal_when,
              const std::vector<int>& blocked) {
  RunResult result;
  // Read ends first, write ends second.
  UniqueFd out_pipe[2];
  UniqueFd err_pipe[2];
  for (UniqueFd* ends : {out_pipe, err_pipe}) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      result.err = std::string("pipe: ") + strerror(errno);
      return result;
    }
    ends[0].Reset(fds[0]);
    ends[1].Reset(fds[1]);
  }

  // The set-up calls below fail only for arguments that are wrong, or for
  // want of memory; posix_spawnp() then reports what went wrong.
  posix_spawn_file_actions_t actions;
  (void)posix_spawn_file_actions_init(&actions);
  if (stdin_path.empty())
    (void)posix_spawn_file_actions_addclose(&actions, 0);
  else
    (void)posix_spawn_file_actions_addopen(&actions, 0, stdin_path.c_str(),
                                           O_RDONLY, 0);
  (void)posix_spawn_file_actions_adddup2(&actions, out_pipe[1].get(), 1);
  (void)posix_spawn_file_actions_adddup2(&actions, err_pipe[1].get(), 2);
  // Nothing of the test runner's (ctest's pipes, say) beyond the three.
  (void)posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  // A suite started as a background job inherits ignored signals; the
  // programs under test must not.
  posix_spawnattr_t attributes;
  (void)posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t mask;
  (void)sigfillset(&all);
  (void)sigemptyset(&mask);
  for (int held : blocked) (void)sigaddset(&mask, held);
  (void)posix_spawnattr_setsigdefault(&attributes, &all);
  (void)posix_spawnattr_setsigmask(&attributes, &mask);
  (void)posix_spawnattr_setflags(
      &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int spawned =
      posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  (void)posix_spawn_file_actions_destroy(&actions);
  (void)posix_spawnattr_destroy(&attributes);
  out_pipe[1].Reset();
  err_pipe[1].Reset();
  if (spawned != 0) {
    result.err = std::string("spawn ") + argv[0] + ": " + strerror(spawned);
    return result;
  }

  const auto deadline =
      start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                  std::chrono::duration<double>(timeout_seconds));
  // How often signal_when is asked.
  const auto look_again = std::chrono::milliseconds(2);
  struct pollfd pfds[2] = {{out_pipe[0].get(), POLLIN, 0},
                           {err_pipe[0].get(), POLLIN, 0}};
  UniqueFd* read_ends[2] = {&out_pipe[0], &err_pipe[0]};
  std::string* sinks[2] = {&result.out, &result.err};
  int streams = 2;
  while (streams > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (signal != 0 && (!signal_when || signal_when())) {
      (void)kill(pid, signal);
      signal = 0;
    }
    auto until = signal != 0 ? std::min(deadline, now + look_again) : deadline;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - now)
            .count();
    if (now >= deadline) {
      result.timed_out = true;
      (void)kill(pid, SIGKILL);
      break;
    }
    if (left < 1) left = 1;
    int ready = poll(pfds, 2, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (pfds[i].fd < 0 || !pfds[i].revents) continue;
      char buf[4096];
      ssize_t got = read(pfds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        read_ends[i]->Reset();
        pfds[i].fd = -1;
        --streams;
      }
    }
  }

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.status = 128 + WTERMSIG(wstatus);
  return result;
}

}  // namespace hubsim
