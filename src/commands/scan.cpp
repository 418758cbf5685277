#include "commands/scan.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "commands/query.h"
#include "dispatch.h"
#include "link/hublock.h"
#include "link/hubquery.h"

namespace {

constexpr int32_t kNames = kLastScanIndex - kFirstScanIndex + 1;
// More threads than this would only matter on a machine with more than
// this many silent serial devices at once.
constexpr size_t kMaxProbeThreads = 64;
// A probe needs a few kilobytes of stack; the default (8 MiB of address
// space per thread) would cost half a gigabyte on a 32-bit target.
constexpr size_t kProbeStackBytes = 128 * 1024;

struct Probe {
  bool finished = false;
  bool isHub = false;
  HubReport report;
};

struct ScanState {
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<int32_t> pending;  // indices still to probe
  size_t next = 0;
  std::array<Probe, kNames> probes;
};

std::string PortNameOf(int32_t index) { return kHubPortPrefix + my_itos(index); }

Probe RunProbe(int32_t index) {
  Probe probe;
  const std::string portName = PortNameOf(index);
  HubLock lock;
  if (lock.Acquire(portName) == kOK)
    probe.isHub = QueryHub(portName, &probe.report.nPorts, &probe.report.fw,
                           &probe.report.word) == kOK;
  probe.finished = true;
  return probe;
}

void* ProbeWorker(void* arg) {
  ScanState& state = *static_cast<ScanState*>(arg);
  for (;;) {
    int32_t index;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      if (state.next == state.pending.size()) return nullptr;
      index = state.pending[state.next++];
    }
    Probe probe = RunProbe(index);
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.probes[index - kFirstScanIndex] = probe;
    }
    state.finished.notify_all();
  }
}

// Starts up to count workers; returns those that started.
std::vector<pthread_t> StartWorkers(ScanState* state, size_t count) {
  std::vector<pthread_t> workers;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return workers;
  if (pthread_attr_setstacksize(&attr, kProbeStackBytes) == 0) {
    for (size_t i = 0; i < count; ++i) {
      pthread_t thread;
      if (pthread_create(&thread, &attr, ProbeWorker, state) != 0) break;
      workers.push_back(thread);
    }
  }
  (void)pthread_attr_destroy(&attr);
  return workers;
}

}  // namespace

void ScanHubs(
    const std::function<void(int32_t, const std::string&, const HubReport&)>&
        onHub) {
  ScanState state;
  for (int32_t i = kFirstScanIndex; i <= kLastScanIndex; ++i) {
    struct stat st;
    // A name without a device fails at once; it needs no thread.
    if (stat(PortNameOf(i).c_str(), &st) == 0)
      state.pending.push_back(i);
    else
      state.probes[i - kFirstScanIndex].finished = true;
  }

  std::vector<pthread_t> workers =
      StartWorkers(&state, std::min(state.pending.size(), kMaxProbeThreads));
  // Without any worker (threads exhausted) this thread probes them all.
  if (workers.empty()) ProbeWorker(&state);

  for (int32_t i = kFirstScanIndex; i <= kLastScanIndex; ++i) {
    Probe probe;
    {
      std::unique_lock<std::mutex> lock(state.mutex);
      state.finished.wait(lock, [&] {
        return state.probes[i - kFirstScanIndex].finished;
      });
      probe = state.probes[i - kFirstScanIndex];
    }
    if (probe.isHub) onHub(i, PortNameOf(i), probe.report);
  }
  // Every worker has finished its last probe by now: nothing can fail.
  for (pthread_t worker : workers) (void)pthread_join(worker, nullptr);
}
