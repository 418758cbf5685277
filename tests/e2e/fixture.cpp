#include "fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "devns.h"

std::string g_private_dev_error;

void E2E::SetUp() {
  if (g_private_dev_error.empty()) return;
  const char* required = std::getenv("TARVO_E2E_REQUIRED");
  if (required != nullptr && std::string(required) == "1")
    FAIL() << "no private /dev for the end-to-end tests: "
           << g_private_dev_error;
  GTEST_SKIP() << "no private /dev for the end-to-end tests: "
               << g_private_dev_error;
}

void E2E::TearDown() {
  for (const std::string& link : links_) unlink(("/dev/" + link).c_str());
  hubs_.clear();
}

hubsim::Hub& E2E::AddHub(int index, hubsim::HubConfig config,
                         hubsim::Faults faults) {
  hubs_.push_back(std::make_unique<hubsim::Hub>(config, faults));
  EXPECT_EQ(hubs_.back()->Error(), "");
  links_.push_back("ttyUSB" + std::to_string(index));
  EXPECT_EQ(sandbox::LinkDevice(links_.back(), hubs_.back()->TerminalPath()),
            "");
  return *hubs_.back();
}

sandbox::RunResult E2E::Tarvo(const std::vector<std::string>& args,
                              double timeout_seconds,
                              const std::string& stdin_path) {
  return sandbox::Run(TarvoArgv(args), timeout_seconds, stdin_path);
}

std::vector<std::string> TarvoArgv(const std::vector<std::string>& args,
                                   const std::string& setup) {
  std::vector<std::string> argv;
  if (!setup.empty()) argv = {"sh", "-c", setup + "; exec \"$@\"", "sh"};
  for (const std::string& word : sandbox::SplitWords(TARVO_LAUNCHER))
    argv.push_back(word);
  argv.push_back(TARVO_EXE);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::vector<sandbox::RunResult> RunSideBySide(
    const std::vector<TarvoRun>& runs) {
  std::vector<sandbox::RunResult> results(runs.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < runs.size(); ++i)
    threads.emplace_back([&, i] {
      const TarvoRun& run = runs[i];
      results[i] = sandbox::Run(TarvoArgv(run.args, run.setup), 60, "/dev/null",
                                run.signal, run.when, run.blocked);
    });
  for (std::thread& thread : threads) thread.join();
  return results;
}

std::function<bool()> AfterFrames(const hubsim::Hub& hub, size_t frames) {
  return [&hub, frames] { return hub.Frames().size() >= frames; };
}
