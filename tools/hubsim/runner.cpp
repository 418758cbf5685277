#include "runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>

extern char** environ;

namespace hubsim {

std::vector<std::string> SplitWords(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

RunResult Run(const std::vector<std::string>& argv, double timeoutSeconds,
              const std::string& stdinPath, int signal,
              double signalAfterSeconds, const std::vector<int>& blocked) {
  RunResult result;
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    result.err = std::string("pipe: ") + strerror(errno);
    return result;
  }
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    result.err = std::string("pipe: ") + strerror(errno);
    close(outPipe[0]);
    close(outPipe[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinPath.empty())
    posix_spawn_file_actions_addclose(&actions, 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY,
                                     0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  // Nothing of the test runner's (ctest's pipes, say) beyond the three.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  // A suite started as a background job inherits ignored signals; the
  // programs under test must not.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t mask;
  sigfillset(&all);
  sigemptyset(&mask);
  for (int held : blocked) sigaddset(&mask, held);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &mask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(),
                             environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned != 0) {
    result.err = std::string("spawn ") + argv[0] + ": " + strerror(spawned);
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
  }

  auto after = [&](double seconds) {
    return start +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double>(seconds));
  };
  const auto deadline = after(timeoutSeconds);
  const auto signalAt = after(signalAfterSeconds);
  struct pollfd pfds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int streams = 2;
  while (streams > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (signal != 0 && now >= signalAt) {
      kill(pid, signal);
      signal = 0;
    }
    auto until = signal != 0 ? std::min(deadline, signalAt) : deadline;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - now)
            .count();
    if (now >= deadline) {
      result.timedOut = true;
      kill(pid, SIGKILL);
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
        close(pfds[i].fd);
        pfds[i].fd = -1;
        --streams;
      }
    }
  }
  for (auto& pfd : pfds)
    if (pfd.fd >= 0) close(pfd.fd);

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  result.seconds = std::chrono::duration<double>(
                       std::chrono::steady_clock::now() - start)
                       .count();
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.status = 128 + WTERMSIG(wstatus);
  return result;
}

}  // namespace hubsim
