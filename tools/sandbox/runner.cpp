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

#include "base/uniquefd.h"

extern char** environ;

namespace sandbox {

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  for (size_t start = 0; start < text.size();) {
    const size_t blank = std::min(text.find(' ', start), text.size());
    if (blank > start) words.push_back(text.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

namespace {

using Clock = std::chrono::steady_clock;

// A pipe as its read end and its write end; false with error set.
bool MakePipe(UniqueFd* read_end, UniqueFd* write_end, std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  read_end->Reset(fds[0]);
  write_end->Reset(fds[1]);
  return true;
}

// Standard input from stdin_path (closed when empty), output and errors
// into the two write ends, and nothing else of the test runner's (ctest's
// pipes, say). The set-up calls fail only for arguments that are wrong, or
// for want of memory; posix_spawnp() then reports what went wrong.
void ChooseDescriptors(const std::string& stdin_path, int32_t out_fd,
                       int32_t err_fd, posix_spawn_file_actions_t* actions) {
  (void)posix_spawn_file_actions_init(actions);
  if (stdin_path.empty())
    (void)posix_spawn_file_actions_addclose(actions, 0);
  else
    (void)posix_spawn_file_actions_addopen(actions, 0, stdin_path.c_str(),
                                           O_RDONLY, 0);
  (void)posix_spawn_file_actions_adddup2(actions, out_fd, 1);
  (void)posix_spawn_file_actions_adddup2(actions, err_fd, 2);
  (void)posix_spawn_file_actions_addclosefrom_np(actions, 3);
}

// Every signal at its default action, only blocked blocked: a suite started
// as a background job inherits ignored signals; the programs under test
// must not.
void ChooseSignals(const std::vector<int>& blocked,
                   posix_spawnattr_t* attributes) {
  (void)posix_spawnattr_init(attributes);
  sigset_t all;
  sigset_t mask;
  (void)sigfillset(&all);
  (void)sigemptyset(&mask);
  for (int held : blocked) (void)sigaddset(&mask, held);
  (void)posix_spawnattr_setsigdefault(attributes, &all);
  (void)posix_spawnattr_setsigmask(attributes, &mask);
  (void)posix_spawnattr_setflags(
      attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

// Starts argv as ChooseDescriptors() and ChooseSignals() say;
// posix_spawnp()'s error, or 0.
int Spawn(const std::vector<std::string>& argv, const std::string& stdin_path,
          int32_t out_fd, int32_t err_fd, const std::vector<int>& blocked,
          pid_t* pid) {
  posix_spawn_file_actions_t actions;
  ChooseDescriptors(stdin_path, out_fd, err_fd, &actions);
  posix_spawnattr_t attributes;
  ChooseSignals(blocked, &attributes);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int spawned =
      posix_spawnp(pid, args[0], &actions, &attributes, args.data(), environ);
  (void)posix_spawn_file_actions_destroy(&actions);
  (void)posix_spawnattr_destroy(&attributes);
  return spawned;
}

// Appends what each ready stream has to its sink; a stream that ends is
// closed and taken out of the poll. Returns how many ended.
int ReadReady(struct pollfd* pfds, UniqueFd** read_ends, std::string** sinks) {
  int ended = 0;
  for (int i = 0; i < 2; ++i) {
    if (pfds[i].fd < 0 || !pfds[i].revents) continue;
    char buf[4096];
    const ssize_t got = read(pfds[i].fd, buf, sizeof buf);
    if (got > 0) {
      sinks[i]->append(buf, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      read_ends[i]->Reset();
      pfds[i].fd = -1;
      ++ended;
    }
  }
  return ended;
}

// Reads both streams into result until they close or deadline passes (the
// child is then killed), sending signal once signal_when says so.
void Collect(pid_t pid, UniqueFd* out_read, UniqueFd* err_read,
             Clock::time_point deadline, int signal,
             const std::function<bool()>& signal_when, RunResult* result) {
  // How often signal_when is asked.
  const auto look_again = std::chrono::milliseconds(2);
  struct pollfd pfds[2] = {{out_read->get(), POLLIN, 0},
                           {err_read->get(), POLLIN, 0}};
  UniqueFd* read_ends[2] = {out_read, err_read};
  std::string* sinks[2] = {&result->out, &result->err};
  int streams = 2;
  while (streams > 0) {
    const auto now = Clock::now();
    if (signal != 0 && (!signal_when || signal_when())) {
      (void)kill(pid, signal);
      signal = 0;
    }
    if (now >= deadline) {
      result->timed_out = true;
      (void)kill(pid, SIGKILL);
      return;
    }
    const auto until =
        signal != 0 ? std::min(deadline, now + look_again) : deadline;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    const int ready =
        poll(pfds, 2, static_cast<int>(std::max<int64_t>(1, left.count())));
    if (ready < 0 && errno != EINTR) return;
    streams -= ReadReady(pfds, read_ends, sinks);
  }
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, double timeout_seconds,
              const std::string& stdin_path, int signal,
              const std::function<bool()>& signal_when,
              const std::vector<int>& blocked) {
  RunResult result;
  UniqueFd out_read, out_write, err_read, err_write;
  if (!MakePipe(&out_read, &out_write, &result.err) ||
      !MakePipe(&err_read, &err_write, &result.err))
    return result;
  const auto start = Clock::now();
  pid_t pid;
  const int spawned =
      Spawn(argv, stdin_path, out_write.get(), err_write.get(), blocked, &pid);
  out_write.Reset();
  err_write.Reset();
  if (spawned != 0) {
    result.err = std::string("spawn ") + argv[0] + ": " + strerror(spawned);
    return result;
  }
  const auto deadline =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(timeout_seconds));
  Collect(pid, &out_read, &err_read, deadline, signal, signal_when, &result);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.status = ShellStatus(wstatus);
  return result;
}

int ShellStatus(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

}  // namespace sandbox
