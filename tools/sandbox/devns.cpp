#include "devns.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "base/uniquefd.h"

namespace sandbox {

namespace {

const char* const kPassedDevices[] = {"null", "zero",   "full",
                                      "tty",  "random", "urandom"};
const char* const kProcLinks[][2] = {{"fd", "/proc/self/fd"},
                                     {"stdin", "/proc/self/fd/0"},
                                     {"stdout", "/proc/self/fd/1"},
                                     {"stderr", "/proc/self/fd/2"}};
const char* const kLockDirs[] = {"/run/lock", "/var/lock"};

std::string Failure(const std::string& what) {
  return what + ": " + strerror(errno);
}

bool WriteFile(const std::string& path, const std::string& text) {
  UniqueFd file(open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  return file.valid() &&
         write(file.get(), text.data(), text.size()) ==
             static_cast<ssize_t>(text.size()) &&
         close(file.Release()) == 0;
}

// As an unprivileged user: become root of a new user namespace that maps
// only our own ids, which is enough to mount inside it.
std::string EnterUserNamespace() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
    return Failure("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
  if (!WriteFile("/proc/self/setgroups", "deny") ||
      !WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
    return "cannot write the user namespace's id maps";
  return "";
}

// A descriptor's name under /proc, for mounting what it holds.
std::string ProcPath(const UniqueFd& fd) {
  return "/proc/self/fd/" + std::to_string(fd.get());
}

// A fresh tmpfs on /dev, with the host's harmless devices bound back in;
// the originals vanish under the tmpfs, so handles to them are kept first.
std::string MountEmptyDev() {
  std::vector<UniqueFd> originals;
  for (const char* device : kPassedDevices) {
    std::string path = std::string("/dev/") + device;
    originals.emplace_back(open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!originals.back().valid()) return Failure("open " + path);
  }
  if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, "mode=0755") != 0)
    return Failure("mount tmpfs on /dev");
  for (size_t i = 0; i < originals.size(); ++i) {
    std::string target = std::string("/dev/") + kPassedDevices[i];
    const UniqueFd made(
        open(target.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    if (!made.valid()) return Failure("create " + target);
    if (mount(ProcPath(originals[i]).c_str(), target.c_str(), nullptr, MS_BIND,
              nullptr) != 0)
      return Failure("bind " + target);
  }
  return "";
}

// host_pts is the host's /dev/pts, opened before /dev was covered.
std::string MountTerminals(const UniqueFd& host_pts) {
  if (mkdir("/dev/pts", 0755) != 0) return Failure("mkdir /dev/pts");
  // A devpts instance of our own: terminal numbers are then never shared
  // with other programs, so a link left pointing at a closed terminal can
  // never reach another process's simulated hub when the number comes
  // round again. The host's instance, bound in, serves where a new one
  // cannot be mounted.
  if (mount("devpts", "/dev/pts", "devpts", MS_NOSUID | MS_NOEXEC,
            "newinstance,ptmxmode=0666,mode=0620") != 0 &&
      mount(ProcPath(host_pts).c_str(), "/dev/pts", nullptr, MS_BIND | MS_REC,
            nullptr) != 0)
    return Failure("mount /dev/pts");
  if (symlink("pts/ptmx", "/dev/ptmx") != 0) return Failure("link /dev/ptmx");
  for (const auto& link : kProcLinks) {
    const std::string path = std::string("/dev/") + link[0];
    if (symlink(link[1], path.c_str()) != 0) return Failure("link " + path);
  }
  if (mkdir("/dev/shm", 01777) != 0 ||
      mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") !=
          0)
    return Failure("mount /dev/shm");
  return "";
}

// Lock files of the host's programs must not touch the simulated hubs, nor
// those made here the host's devices.
std::string MountEmptyLockDirs() {
  for (const char* dir : kLockDirs) {
    struct stat st;
    if (lstat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (mount("tmpfs", dir, "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
      return Failure(std::string("mount tmpfs on ") + dir);
  }
  return "";
}

}  // namespace

std::string EnterPrivateDev() {
  if (unshare(CLONE_NEWNS) != 0) {
    std::string as_root = Failure("unshare(CLONE_NEWNS)");
    std::string as_user = EnterUserNamespace();
    if (!as_user.empty()) return as_root + "; " + as_user;
  }
  // Nothing mounted from here on may propagate back to the host.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Failure("making / private");
  UniqueFd host_pts(open("/dev/pts", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!host_pts.valid()) return Failure("open /dev/pts");
  std::string failure = MountEmptyDev();
  if (failure.empty()) failure = MountTerminals(host_pts);
  if (failure.empty()) failure = MountEmptyLockDirs();
  return failure;
}

std::string LinkDevice(const std::string& name, const std::string& target) {
  std::string path = "/dev/" + name;
  (void)unlink(path.c_str());
  if (symlink(target.c_str(), path.c_str()) != 0)
    return Failure("link " + path);
  return "";
}

}  // namespace sandbox
