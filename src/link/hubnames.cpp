#include "link/hubnames.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

bool IsControl(char ch) {
  const unsigned char byte = static_cast<unsigned char>(ch);
  return byte < 0x20 || byte == 0x7F;
}

// An absolute path of named parts: no "." or "..", no "//", no trailing
// '/', no control byte.
bool IsCleanPath(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.back() == '/' ||
      path.size() > PATH_MAX)
    return false;
  for (char ch : path)
    if (IsControl(ch)) return false;
  for (size_t start = 1;;) {
    const size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

// The folder as the kernel resolves it; "" with errno set when it cannot.
std::string RealFolder(const std::string& folder) {
  const std::unique_ptr<char, decltype(&free)> real(
      realpath(folder.c_str(), nullptr), &free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace

std::string ScanName(int32_t index) {
  return kHubNamePrefix + std::to_string(index);
}

bool IsHubName(const std::string& name) {
  if (name.compare(0, sizeof kHubNamePrefix - 1, kHubNamePrefix) != 0)
    return false;
  for (char ch : name)
    if (ch == '/' || IsControl(ch)) return false;
  return true;
}

std::string HubDevice(const std::string& device_dir, const std::string& name) {
  return device_dir + name;
}

HubPath ResolveHubPath(const std::string& path, const std::string& device_dir) {
  const HubPath refused;
  const HubPath missing = {
      HubPathStatus::kMissing,
      path.substr(std::min(path.size(), device_dir.size()))};
  if (path.compare(0, device_dir.size(), device_dir) != 0 || !IsCleanPath(path))
    return refused;
  const std::string real_dir = RealFolder(device_dir);
  if (real_dir.empty()) return refused;
  std::string current = path;
  for (int32_t links = 0;;) {
    const size_t slash = current.rfind('/');
    const std::string last = current.substr(slash + 1);
    const std::string folder =
        RealFolder(slash == 0 ? "/" : current.substr(0, slash));
    if (folder.empty()) return errno == ENOENT ? missing : refused;
    if (folder != real_dir &&
        folder.compare(0, real_dir.size() + 1, real_dir + "/") != 0)
      return refused;  // the walk left the device folder
    if (folder == real_dir && IsHubName(last))
      return {HubPathStatus::kHub, last};
    const std::string name = folder + "/" + last;
    struct stat seen;
    if (lstat(name.c_str(), &seen) != 0)
      return errno == ENOENT ? missing : refused;
    if (!S_ISLNK(seen.st_mode) || ++links > kMostLinks) return refused;
    char target[PATH_MAX];
    const ssize_t length = readlink(name.c_str(), target, sizeof target - 1);
    if (length <= 0) return refused;
    const std::string to(target, static_cast<size_t>(length));
    current = to[0] == '/' ? to : folder + "/" + to;
  }
}
