#include "simhubs.h"

#include <stdlib.h>

#include <unistd.h>

#include <filesystem>

#include "commandline.h"
#include "dispatch.h"
#include "link/clock.h"
#include "runner.h"

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config,
                                      hubsim::Faults faults) {
  auto hub = std::make_unique<hubsim::Hub>(config, faults);
  EXPECT_EQ("", hub->Error());
  return hub;
}

Outcome RunCommandOn(const std::string& device,
                     const std::vector<std::string>& args, LineCollector* out) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  ParsedCommandLine parsed =
      ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  if (parsed.Refused()) return parsed.refusal;
  parsed.request.device = device;
  return RunRequest(parsed.request, *out);
}

double SecondsSince(int64_t start_us) {
  return static_cast<double>(MonotonicMicros() - start_us) / 1e6;
}

std::string ParsedByPython(const std::string& document, const std::string& path) {
  char file[] = "/tmp/tarvo-json-XXXXXX";
  const int fd = mkstemp(file);
  EXPECT_EQ(static_cast<ssize_t>(document.size()), write(fd, document.data(), document.size()));
  close(fd);
  const hubsim::RunResult r = hubsim::Run(
      {"python3", "-c", "import json,sys; v=json.load(open(sys.argv[1]))" + path +
                            "; print(v.encode('latin-1').hex() if isinstance(v, str) else json.dumps(v), end='')",
       file},
      60);
  unlink(file);
  return r.out + r.err;
}

void ExpectAtMost(double seconds, double bound) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__arm__)
  EXPECT_LT(seconds, bound);
#else
  (void)seconds;
  (void)bound;
#endif
}

TempDir::TempDir() {
  char pattern[] = "/tmp/tarvo-test-XXXXXX";
  EXPECT_NE(nullptr, mkdtemp(pattern));
  path_ = pattern;
}

TempDir::~TempDir() { std::filesystem::remove_all(path_); }
