// tarvo-sandbox: simulated hubs as /dev/ttyUSBn, and a command run among
// them, all in namespaces of their own.
//
//   tarvo-sandbox [--hub ttyUSBn[:PORTS[:STATEHEX]][,SETTING]...]...
//                 [-- COMMAND [ARG...]]
//
// The sandbox enters a mount namespace with a private /dev (devns.h),
// starts the hubs (hubsetup.h; without --hub, the demo's two) and forks
// process 1 of a new PID namespace: a small init that runs
// COMMAND (or $SHELL, else /bin/sh), passes on the signals that would end
// it, reaps orphans and exits with COMMAND's status. When it exits the
// kernel ends everything else in the namespace, and the hubs go with the
// sandbox; when the sandbox itself dies (even of SIGKILL), the init dies
// with it, and so does everything inside. COMMAND starts with the signal
// dispositions and mask the sandbox started with, as env(1) would leave
// them. The tarvo beside this executable, if there is one, comes first
// on PATH.
//
// Exit status: COMMAND's (128+n when signal n ended it); 125 when the
// sandbox itself fails, 126 when COMMAND cannot be run, 127 when it is
// not found, as env(1) has them.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "demohubs.h"
#include "devns.h"
#include "hubsetup.h"
#include "runner.h"

namespace {

constexpr int kSandboxFailed = 125;
constexpr int kCannotRun = 126;
constexpr int kNotFound = 127;

const char kUsage[] =
    "usage: tarvo-sandbox [--hub ttyUSBn[:PORTS[:STATEHEX]][,SETTING]...]...\n"
    "                     [-- COMMAND [ARG...]]\n"
    "Runs COMMAND (default: $SHELL) where simulated Managed USB Hubs appear\n"
    "as /dev/ttyUSBn, in a private /dev, /run/lock and PID namespace. PORTS\n"
    "is 1 to 99 (default 4), STATEHEX as tarvo /G -H prints it (default\n"
    "FFFFFFFF). Without --hub: ttyUSB0:4:05000000,firmware=1.3 and\n"
    "ttyUSB3:12:000A0000. Exits with COMMAND's status. Settings:\n";

// Signals the init passes on to COMMAND: those a user or a supervisor
// sends to stop a run.
const int kPassedOn[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2};

// Those the sandbox itself passes on to the init; keyboard signals reach
// the command from the terminal.
const int kPassedOnByTheSandbox[] = {SIGHUP, SIGTERM, SIGUSR1, SIGUSR2};

// Global because the init's signal handler reads it: the pid to pass on to.
volatile sig_atomic_t g_command_pid = 0;

// The signals the sandbox and its init handle, as they were when the
// sandbox started, for COMMAND to start with.
struct StartSignals {
  sigset_t mask;
  sigset_t ignored;
};

StartSignals SignalsAtStart() {
  StartSignals start;
  (void)sigprocmask(SIG_SETMASK, nullptr, &start.mask);
  (void)sigemptyset(&start.ignored);
  for (int signal : kPassedOn) {
    struct sigaction action;
    if (sigaction(signal, nullptr, &action) == 0 &&
        action.sa_handler == SIG_IGN)
      (void)sigaddset(&start.ignored, signal);
  }
  return start;
}

void PassOn(int signal) {
  if (g_command_pid > 0) kill(g_command_pid, signal);
}

int Fail(const std::string& what) {
  (void)std::fprintf(stderr, "tarvo-sandbox: %s\n", what.c_str());
  return kSandboxFailed;
}

int StatusOf(int wait_status) {
  const int status = sandbox::ShellStatus(wait_status);
  return status < 0 ? kSandboxFailed : status;
}

// From here on, the signals given go on to the pid given.
void PassSignalsOn(pid_t to, const int* signals, size_t count) {
  g_command_pid = to;
  struct sigaction pass_on = {};
  pass_on.sa_handler = PassOn;
  (void)sigemptyset(&pass_on.sa_mask);
  for (size_t i = 0; i < count; ++i)
    (void)sigaction(signals[i], &pass_on, nullptr);
}

// fork() as the bare system call, with namespace flags: no fork handlers
// and no locks taken, so the child may use only async-signal-safe calls.
pid_t ForkInto(int namespaces) {
  return static_cast<pid_t>(syscall(SYS_clone, namespaces | SIGCHLD, nullptr,
                                    nullptr, nullptr, nullptr));
}

// COMMAND, with the signals as the sandbox started with them.
[[noreturn]] void ExecCommand(char* const* command, const char* not_found,
                              const char* cannot_run,
                              const StartSignals& start) {
  for (int signal : kPassedOn)
    (void)::signal(signal,
                   sigismember(&start.ignored, signal) ? SIG_IGN : SIG_DFL);
  (void)sigprocmask(SIG_SETMASK, &start.mask, nullptr);
  execvp(command[0], command);
  const int error = errno;
  const char* message = error == ENOENT ? not_found : cannot_run;
  ssize_t ignored = write(2, message, strlen(message));
  (void)ignored;
  _exit(error == ENOENT ? kNotFound : kCannotRun);
}

// Process 1 of the PID namespace. Only async-signal-safe calls from here
// on: the sandbox has hub threads, and this is a copy of one of them.
// sandbox_alive is the read end of a pipe whose write end only the
// sandbox holds: it reads as hung up once the sandbox is gone.
[[noreturn]] void RunInit(char* const* command, const char* not_found,
                          const char* cannot_run, const StartSignals& start,
                          int sandbox_alive) {
  // A PID namespace's init ignores every signal it has no handler for,
  // SIGTERM and SIGHUP included: only SIGKILL ends it for sure. The
  // sandbox may have died before the call took effect: then it is gone
  // already (getppid() says 0 across the namespace, the pipe does not).
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) _exit(kSandboxFailed);
  struct pollfd gone = {sandbox_alive, POLLIN, 0};
  if (poll(&gone, 1, 0) != 0) _exit(kSandboxFailed);
  // A /proc of the namespace's own, so that process ids inside mean what
  // they say; where it cannot be mounted the host's stays.
  (void)mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
              nullptr);
  const pid_t child = ForkInto(0);
  if (child < 0) _exit(kSandboxFailed);
  if (child == 0) ExecCommand(command, not_found, cannot_run, start);
  PassSignalsOn(child, kPassedOn, std::size(kPassedOn));
  sigset_t none;
  (void)sigemptyset(&none);
  (void)sigprocmask(SIG_SETMASK, &none, nullptr);
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(-1, &status, 0);
    if (ended == child) _exit(StatusOf(status));
    if (ended < 0 && errno == ECHILD) _exit(kSandboxFailed);
  }
}

struct SandboxArguments {
  std::vector<hubsim::HubSetup> hubs;
  std::vector<std::string> command;
  bool help = false;
};

std::string ParseHubs(const std::vector<std::string>& texts,
                      std::vector<hubsim::HubSetup>* hubs) {
  for (const std::string& text : texts) {
    hubsim::HubSetup setup;
    const std::string error = hubsim::ParseHubSetup(text, &setup);
    if (!error.empty()) return "--hub " + text + ": " + error;
    for (const hubsim::HubSetup& other : *hubs)
      if (other.name == setup.name) return "two hubs named " + setup.name;
    hubs->push_back(setup);
  }
  return "";
}

// The command given, else the user's shell.
std::vector<std::string> CommandOrShell(char** first, char** end) {
  if (first != end) return {first, end};
  const char* shell = std::getenv("SHELL");
  return {shell != nullptr && *shell != '\0' ? shell : "/bin/sh"};
}

// "" when the arguments parse, else what is wrong with them.
std::string ParseArguments(int argc, char** argv, SandboxArguments* parsed) {
  std::vector<std::string> hub_texts;
  int first_command_arg = argc;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      first_command_arg = i + 1;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      parsed->help = true;
      return "";
    }
    if (arg == "--hub" && i + 1 < argc) {
      hub_texts.push_back(argv[++i]);
    } else if (arg == "--hub") {
      return "--hub needs a hub: ttyUSBn[:PORTS[:STATEHEX]][,SETTING...] "
             "(try --help)";
    } else if (arg.compare(0, 6, "--hub=") == 0) {
      hub_texts.push_back(arg.substr(6));
    } else if (arg[0] != '-') {
      return "'--' is missing before the command: tarvo-sandbox [--hub "
             "HUB]... -- " +
             arg + " ...";
    } else {
      return "unknown argument '" + arg + "' (try --help)";
    }
  }
  if (hub_texts.empty())
    hub_texts.assign(std::begin(sandbox::kDemoHubs),
                     std::end(sandbox::kDemoHubs));
  const std::string error = ParseHubs(hub_texts, &parsed->hubs);
  if (!error.empty()) return error;
  parsed->command = CommandOrShell(argv + first_command_arg, argv + argc);
  return "";
}

// Puts the tarvo beside this executable, if there is one, first on PATH.
void PreferTheTarvoBesideUs() {
  const std::string here = sandbox::DirectoryOfThisExecutable();
  if (here.empty() || access((here + "/tarvo").c_str(), X_OK) != 0) return;
  const char* path = std::getenv("PATH");
  const std::string joined =
      here + ":" + (path != nullptr ? path : "/usr/bin:/bin");
  if (setenv("PATH", joined.c_str(), 1) != 0)
    (void)std::fputs("tarvo-sandbox: PATH left as it is\n", stderr);
}

// Forks the init of a new PID namespace to run command, and waits for it.
int RunCommandInside(std::vector<std::string> command) {
  std::vector<char*> command_argv;
  for (std::string& word : command) command_argv.push_back(word.data());
  command_argv.push_back(nullptr);
  const std::string not_found =
      "tarvo-sandbox: " + command[0] + ": not found\n";
  const std::string cannot_run =
      "tarvo-sandbox: " + command[0] + ": cannot run\n";

  const StartSignals start = SignalsAtStart();
  int alive[2];
  if (pipe2(alive, O_CLOEXEC) != 0)
    return Fail(std::string("pipe: ") + strerror(errno));
  // Like a shell waiting for its job: keyboard signals are for the job.
  (void)signal(SIGINT, SIG_IGN);
  (void)signal(SIGQUIT, SIG_IGN);
  // The init alone goes to the new PID namespace: the sandbox keeps its
  // own, where it can still start threads (a sanitizer's, say). A mount
  // namespace of the init's own keeps its /proc from the sandbox's view.
  const pid_t init = ForkInto(CLONE_NEWPID | CLONE_NEWNS);
  if (init < 0)
    return Fail(std::string("clone(CLONE_NEWPID): ") + strerror(errno));
  if (init == 0) {
    (void)close(alive[1]);
    RunInit(command_argv.data(), not_found.c_str(), cannot_run.c_str(), start,
            alive[0]);
  }
  (void)close(alive[0]);
  // A stop meant for the sandbox goes to its command, whose end ends it.
  PassSignalsOn(init, kPassedOnByTheSandbox, std::size(kPassedOnByTheSandbox));
  int status = 0;
  while (waitpid(init, &status, 0) < 0) {
    if (errno != EINTR) return Fail(std::string("waitpid: ") + strerror(errno));
  }
  // The write end goes with the sandbox: the init is gone by now.
  (void)close(alive[1]);
  return StatusOf(status);
}

}  // namespace

int main(int argc, char** argv) {
  SandboxArguments arguments;
  const std::string wrong = ParseArguments(argc, argv, &arguments);
  if (!wrong.empty()) return Fail(wrong);
  if (arguments.help) {
    const std::string help = kUsage + hubsim::HubSettingsHelp("", "=");
    (void)std::fputs(help.c_str(), stdout);
    return 0;
  }
  PreferTheTarvoBesideUs();
  const std::string error = sandbox::EnterPrivateDev();
  if (!error.empty())
    return Fail(
        "cannot make the private /dev (" + error +
        "): run as root, or where unprivileged user namespaces are enabled");
  std::vector<std::unique_ptr<hubsim::Hub>> hubs;
  const std::string not_started = sandbox::StartHubs(arguments.hubs, &hubs);
  if (!not_started.empty()) return Fail(not_started);
  return RunCommandInside(std::move(arguments.command));
}
