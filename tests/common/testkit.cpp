#include "testkit.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runner.h"

double SecondsSince(int64_t start_us) {
  return static_cast<double>(NowMicros() - start_us) / 1e6;
}

bool Eventually(const std::function<bool()>& done, double seconds) {
  const int64_t start = NowMicros();
  while (!done()) {
    if (SecondsSince(start) > seconds) return false;
    usleep(1000);
  }
  return true;
}

void ExpectAtMost(double seconds, double bound) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__arm__)
  EXPECT_LT(seconds, bound);
#else
  (void)seconds;
  (void)bound;
#endif
}

std::string ParsedByPython(const std::string& document,
                           const std::string& path) {
  TempDir dir;
  std::ofstream(dir / "document.json", std::ios::binary) << document;
  const sandbox::RunResult r =
      sandbox::Run({"python3", "-c",
                    "import json,sys; v=json.load(open(sys.argv[1]))" + path +
                        "; sys.stdout.buffer.write(v.encode('latin-1') if "
                        "isinstance(v, str) else json.dumps(v).encode())",
                    dir / "document.json"},
                   60);
  return r.out + r.err;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/tarvo-test-XXXXXX";
  EXPECT_NE(nullptr, mkdtemp(pattern));
  path_ = pattern;
}

TempDir::~TempDir() { std::filesystem::remove_all(path_); }
