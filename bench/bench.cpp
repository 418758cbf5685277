// tarvo-bench: times tarvo against simulated hubs in a private /dev and
// prints the results as Markdown tables.
//
//   tarvo-bench TARVO STRIPPED_TARVO C_CLIENT PYSERIAL_SCRIPT [REPEATS]
//
// 1. Latency: /G, /S and /Q:ttyUSBn against a hub that keeps 9600-baud
//    wire time, against the wire-time limit of the bytes exchanged and
//    against the same exchanges made by a pyserial script.
// 2. Overhead: tarvo /H against true(1); /G against a minimal C client
//    making the same exchanges, on a hub that answers at once; two /G at
//    once on one hub against two back to back (the lock hand-over).
// 3. Peak resident memory of every command, and the stripped size.
// 4. Scan: /Q with two hubs and 254 silent devices against one silent
//    probe, with its peak memory; /Q with 0, 1, 4 and 16 silent devices
//    against querying every existing name in turn (tarvo /Q:ttyUSBn in a
//    loop), measured in the same run.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "devns.h"
#include "hubsim.h"
#include "runner.h"

namespace {

constexpr double kTimeout = 600;
constexpr double kBitsPerByte = 10;
constexpr double kBaud = 9600;

std::string g_tarvo;
std::string g_c_client;

sandbox::RunResult Tarvo(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {g_tarvo};
  argv.insert(argv.end(), args.begin(), args.end());
  sandbox::RunResult r = sandbox::Run(argv, kTimeout);
  // Its status is the caller's to judge: a silent probe fails on purpose,
  // and a failure, like a scan, says why on standard error.
  if (r.timed_out) {
    std::cerr << "tarvo-bench: tarvo " << args[0] << " failed: " << r.err
              << "\n";
    std::exit(1);
  }
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Fixed(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::cerr << "tarvo-bench: unexpected result: " << what << "\n";
    std::exit(1);
  }
}

struct Lab {
  std::vector<std::unique_ptr<hubsim::Hub>> hubs;
  hubsim::Hub& Add(int index, hubsim::HubConfig config,
                   hubsim::Faults faults = {}) {
    hubs.push_back(std::make_unique<hubsim::Hub>(config, faults));
    Check(hubs.back()->Error().empty(), hubs.back()->Error());
    Check(sandbox::LinkDevice("ttyUSB" + std::to_string(index),
                              hubs.back()->TerminalPath())
              .empty(),
          "link");
    return *hubs.back();
  }
  ~Lab() {
    for (int i = 0; i < 256; ++i)
      (void)unlink(("/dev/ttyUSB" + std::to_string(i)).c_str());
  }
};

hubsim::HubConfig EightPorts() {
  hubsim::HubConfig config;
  config.port_count = "08";
  config.states = 0x5;
  return config;
}

void ScanTable() {
  std::cout << "### Scan\n\n"
            << "| silent devices | /Q | one after another (/Q:ttyUSBn each) | "
               "speed-up | /Q against one silent probe |\n"
            << "|---|---|---|---|---|\n";
  double silent_probe = 0;
  for (int silent_count : {0, 1, 4, 16}) {
    Lab lab;
    std::vector<int> names = {0, 7};
    lab.Add(0, EightPorts());
    lab.Add(7, EightPorts());
    hubsim::Faults silent;
    silent.silent = true;
    for (int k = 0; k < silent_count; ++k) {
      lab.Add(20 + 10 * k, {}, silent);
      names.push_back(20 + 10 * k);
    }
    sandbox::RunResult scan = Tarvo({"/Q"});
    Check(scan.out.find("2 Managed USB Hub(s) Found.") != std::string::npos,
          scan.out);
    double sequential = 0;
    for (int name : names) {
      sandbox::RunResult one = Tarvo({"/Q:ttyUSB" + std::to_string(name)});
      sequential += one.seconds;
      if (name >= 20) silent_probe = one.seconds;
    }
    std::cout << "| " << silent_count << " | " << Fixed(scan.seconds, 3)
              << " s | " << Fixed(sequential, 3) << " s | "
              << Fixed(sequential / scan.seconds, 1) << "x | "
              << (silent_count ? Fixed(scan.seconds / silent_probe, 3)
                               : std::string("-"))
              << " |\n";
  }
  std::cout << "\nOne silent probe (tarvo /Q:ttyUSBn on a silent device): "
            << Fixed(silent_probe, 3) << " s.\n\n";
}

void LatencyTable(const std::string& pyserial, int repeats) {
  std::cout
      << "### Latency against a hub that keeps 9600-baud wire time\n\n"
      << "| command | bytes on the wire | wire-time limit | tarvo (median of "
      << repeats
      << ") | tarvo / limit | pyserial script (median) | "
         "pyserial / tarvo |\n"
      << "|---|---|---|---|---|---|---|\n";
  Lab lab;
  hubsim::Faults wire;
  wire.wire_time = true;
  hubsim::Hub& hub = lab.Add(0, EightPorts(), wire);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> frames;
    int bytes;
  };
  // ?Q\r + "KORVEN HUB082.1\r\n", GP\r + "05000000\r\n", SP... +
  // "G05000000\r\n"
  const std::vector<Case> cases = {
      {{"/G:ttyUSB0"}, {"?Q", "GP"}, 3 + 17 + 3 + 10},
      {{"/Q:ttyUSB0"}, {"?Q", "GP"}, 3 + 17 + 3 + 10},
      {{"/S:ttyUSB0", "1:1"},
       {"?Q", "GP", "SPmira    05000000"},
       3 + 17 + 3 + 10 + 19 + 11},
  };
  for (const Case& c : cases) {
    std::vector<double> tarvo;
    std::vector<double> python;
    for (int i = 0; i < repeats; ++i) {
      sandbox::RunResult r = Tarvo(c.args);
      Check(r.status == 0, r.out);
      tarvo.push_back(r.seconds);
      std::vector<std::string> argv = {"/usr/bin/python3", pyserial,
                                       "/dev/ttyUSB0"};
      argv.insert(argv.end(), c.frames.begin(), c.frames.end());
      sandbox::RunResult p = sandbox::Run(argv, kTimeout);
      Check(p.status == 0, "pyserial: " + p.err);
      python.push_back(p.seconds);
    }
    const double limit = c.bytes * kBitsPerByte / kBaud;
    std::string command = "tarvo";
    for (const std::string& a : c.args) command += " " + a;
    std::cout << "| `" << command << "` | " << c.bytes << " | "
              << Fixed(limit * 1000, 1) << " ms | "
              << Fixed(Median(tarvo) * 1000, 1) << " ms | "
              << Fixed(Median(tarvo) / limit, 3) << " | "
              << Fixed(Median(python) * 1000, 1) << " ms | "
              << Fixed(Median(python) / Median(tarvo), 1) << "x |\n";
  }
  (void)hub;
  std::cout << "\n";
}

// A process's peak RSS starts from the memory of the process it was
// forked from, so tarvo is measured as the child of GNU time, a small
// process, rather than of this one, whose own size would show as tarvo's.
long PeakRssKiB(const std::vector<std::string>& args) {
  const std::string report = "/tmp/tarvo-bench-rss";
  std::vector<std::string> argv = {"/usr/bin/time", "-f",   "%M", "-o",
                                   report,          g_tarvo};
  argv.insert(argv.end(), args.begin(), args.end());
  sandbox::RunResult r = sandbox::Run(argv, kTimeout);
  Check(!r.timed_out && r.status == 0, "time " + args[0] + ": " + r.err);
  std::ifstream in(report);
  long kib = -1;
  in >> kib;
  Check(kib > 0, "no peak RSS from /usr/bin/time");
  (void)unlink(report.c_str());
  return kib;
}

void MemoryTable(const std::string& stripped) {
  std::cout
      << "### Peak resident memory\n\n| command | peak RSS |\n|---|---|\n";
  Lab lab;
  lab.Add(0, EightPorts());
  lab.Add(3, EightPorts());
  hubsim::Faults silent;
  silent.silent = true;
  for (int k = 0; k < 16; ++k) lab.Add(100 + k, {}, silent);
  const std::vector<std::vector<std::string>> commands = {
      {"/Q"},
      {"/Q", "-F"},
      {"/Q:ttyUSB0"},
      {"/Q:ttyUSB0", "-F"},
      {"/G:ttyUSB0"},
      {"/G:ttyUSB0", "-B"},
      {"/S:ttyUSB0", "T:ALL"},
      {"/F:ttyUSB0", "B:0101"},
      {"/P:ttyUSB0", "mira"},
      {"/W:ttyUSB0"},
      {"/D:ttyUSB0"},
      {"/R:ttyUSB0"},
      {"/H"}};
  long peak = 0;
  for (const auto& args : commands) {
    const long kib = PeakRssKiB(args);
    std::string command = "tarvo";
    for (const std::string& a : args) command += " " + a;
    if (args[0] == "/Q") command += " (2 hubs, 16 silent devices)";
    std::cout << "| `" << command << "` | " << kib << " KiB |\n";
    peak = std::max(peak, kib);
  }
  struct stat st;
  Check(stat(stripped.c_str(), &st) == 0, "stat " + stripped);
  std::cout << "\nHighest: " << peak
            << " KiB. Stripped executable: " << st.st_size << " bytes ("
            << Fixed(st.st_size / 1024.0, 1) << " KiB).\n";
}

double MedianSeconds(const std::vector<std::string>& argv, int repeats) {
  std::vector<double> seconds;
  for (int i = 0; i < repeats; ++i) {
    sandbox::RunResult r = sandbox::Run(argv, kTimeout);
    Check(r.status == 0 && !r.timed_out, argv[0] + ": " + r.out + r.err);
    seconds.push_back(r.seconds);
  }
  return Median(seconds);
}

void OverheadTable(int repeats) {
  Lab lab;
  lab.Add(0, EightPorts());
  const int runs = repeats * 5;
  std::cout << "### Overhead beside minimal peers (median of " << runs
            << " runs each, side by side)\n\n"
            << "| what | tarvo | peer | tarvo / peer |\n|---|---|---|---|\n";
  std::vector<double> help, truth, get, client;
  for (int i = 0; i < runs; ++i) {
    help.push_back(sandbox::Run({g_tarvo, "/H"}, kTimeout).seconds);
    truth.push_back(sandbox::Run({"/bin/true"}, kTimeout).seconds);
    sandbox::RunResult g = Tarvo({"/G:ttyUSB0"});
    Check(g.status == 0, g.out);
    get.push_back(g.seconds);
    sandbox::RunResult c =
        sandbox::Run({g_c_client, "/dev/ttyUSB0", "?Q", "GP"}, kTimeout);
    Check(c.status == 0, "c-client");
    client.push_back(c.seconds);
  }
  std::cout << "| `tarvo /H` against `true` | " << Fixed(Median(help) * 1000, 2)
            << " ms | " << Fixed(Median(truth) * 1000, 2) << " ms | "
            << Fixed(Median(help) / Median(truth), 3) << " |\n";
  std::cout << "| `tarvo /G:ttyUSB0` against the C client (?Q, GP) | "
            << Fixed(Median(get) * 1000, 2) << " ms | "
            << Fixed(Median(client) * 1000, 2) << " ms | "
            << Fixed(Median(get) / Median(client), 3) << " |\n";

  // The lock hand-over: two runs at once on one hub against the same two
  // one after the other; the difference is what waiting for the lock adds.
  std::vector<double> together, apart;
  for (int i = 0; i < runs; ++i) {
    const sandbox::RunResult first = Tarvo({"/G:ttyUSB0"});
    const sandbox::RunResult second = Tarvo({"/G:ttyUSB0"});
    Check(first.status == 0 && second.status == 0, "/G one after the other");
    apart.push_back(first.seconds + second.seconds);
    const std::vector<std::string> twice = {
        "/bin/sh", "-c",
        "\"$0\" /G:ttyUSB0 >/dev/null & \"$0\" /G:ttyUSB0 >/dev/null; wait",
        g_tarvo};
    sandbox::RunResult both = sandbox::Run(twice, kTimeout);
    Check(both.status == 0, "two at once");
    together.push_back(both.seconds);
  }
  const double shell =
      MedianSeconds({"/bin/sh", "-c", "true & true; wait"}, runs);
  std::cout << "| two `/G` at once on one hub (less a shell's own "
            << Fixed(shell * 1000, 2) << " ms) against two back to back | "
            << Fixed((Median(together) - shell) * 1000, 2) << " ms | "
            << Fixed(Median(apart) * 1000, 2) << " ms | "
            << Fixed((Median(together) - shell) / Median(apart), 3) << " |\n\n"
            << "Two at once less two back to back: "
            << Fixed((Median(together) - shell - Median(apart)) * 1000, 2)
            << " ms (the goal: at most 1 ms).\n\n";
}

void ManySilentScan() {
  Lab lab;
  lab.Add(0, EightPorts());
  lab.Add(128, EightPorts());
  hubsim::Faults silent;
  silent.silent = true;
  for (int i = 1; i < 256; ++i)
    if (i != 128) lab.Add(i, {}, silent);
  sandbox::RunResult one = Tarvo({"/Q:ttyUSB1"});
  sandbox::RunResult scan = Tarvo({"/Q"});
  Check(scan.out.find("2 Managed USB Hub(s) Found.") != std::string::npos,
        scan.out);
  const long kib = PeakRssKiB({"/Q", "-F"});
  std::cout << "### Scan of 254 silent devices and 2 hubs\n\n"
            << "| /Q | one silent probe | /Q against one silent probe | peak "
               "RSS of /Q -F |\n"
            << "|---|---|---|---|\n| " << Fixed(scan.seconds, 3) << " s | "
            << Fixed(one.seconds, 3) << " s | "
            << Fixed(scan.seconds / one.seconds, 3) << " | " << kib
            << " KiB |\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: tarvo-bench TARVO STRIPPED_TARVO C_CLIENT "
                 "PYSERIAL_SCRIPT [REPEATS]\n";
    return 2;
  }
  g_tarvo = argv[1];
  g_c_client = argv[3];
  const int repeats = argc > 5 ? std::max(1, std::atoi(argv[5])) : 21;
  std::string error = sandbox::EnterPrivateDev();
  if (!error.empty()) {
    std::cerr << "tarvo-bench: no private /dev: " << error << "\n";
    return 1;
  }
  LatencyTable(argv[4], repeats);
  OverheadTable(repeats);
  MemoryTable(argv[2]);
  std::cout << "\n";
  ManySilentScan();
  ScanTable();
  return 0;
}
