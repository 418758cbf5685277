#include "names/hubnames.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "base/text.h"

namespace {

// An absolute path of named parts: no "." or "..", no "//", no trailing
// '/', no control byte.
bool IsCleanPath(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.back() == '/' ||
      path.size() > PATH_MAX)
    return false;
  for (char ch : path)
    if (IsControlByte(ch)) return false;
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

bool IsInside(const std::string& folder, const std::string& real_dir) {
  return folder == real_dir ||
         folder.compare(0, real_dir.size() + 1, real_dir + "/") == 0;
}

// For a folder that does not exist: whether the nearest folder above it
// that does, as the kernel resolves it, is inside real_dir. A link that
// leaves the device folder is refused whether or not its target exists.
bool MissingFolderIsInside(std::string folder, const std::string& real_dir) {
  for (;;) {
    const size_t slash = folder.rfind('/');
    folder = slash == 0 ? "/" : folder.substr(0, slash);
    const std::string real = RealFolder(folder);
    if (!real.empty()) return IsInside(real, real_dir);
    if (errno != ENOENT) return false;
  }
}

// One step of the walk: the name at path, in its folder as resolved.
enum class Step { kLink, kEnd, kMissing, kRefused };

class Walk {
 public:
  explicit Walk(std::string real_dir) : real_dir_(std::move(real_dir)) {}

  HubPath Run(std::string current);

 private:
  Step Examine(const std::string& current, std::string* next);
  HubPath End(Step step) const;

  std::string real_dir_;
  HubPath walked_;
  // Every name's last part so far; those up to the hub's name are kept.
  std::vector<std::string> passed_;
};

HubPath Walk::Run(std::string current) {
  for (int32_t links = 0;; ++links) {
    std::string next;
    const Step step = Examine(current, &next);
    if (step != Step::kLink) return End(step);
    if (links == kMostLinks) return End(Step::kRefused);
    current = next;
  }
}

Step Walk::Examine(const std::string& current, std::string* next) {
  const size_t slash = current.rfind('/');
  const std::string last = current.substr(slash + 1);
  const std::string typed_folder = slash == 0 ? "/" : current.substr(0, slash);
  const std::string folder = RealFolder(typed_folder);
  if (folder.empty())
    return errno == ENOENT && MissingFolderIsInside(typed_folder, real_dir_)
               ? Step::kMissing
               : Step::kRefused;
  if (!IsInside(folder, real_dir_)) return Step::kRefused;
  if (std::find(passed_.begin(), passed_.end(), last) == passed_.end())
    passed_.push_back(last);
  if (folder == real_dir_ && IsScanName(last)) {
    walked_.name = last;
    walked_.lock_file_names = passed_;
  }
  const std::string name = folder + "/" + last;
  struct stat seen;
  if (lstat(name.c_str(), &seen) != 0)
    return errno == ENOENT ? Step::kMissing : Step::kRefused;
  if (!S_ISLNK(seen.st_mode)) return Step::kEnd;
  char target[PATH_MAX];
  const ssize_t length = readlink(name.c_str(), target, sizeof target - 1);
  if (length <= 0) return Step::kRefused;
  const std::string to(target, static_cast<size_t>(length));
  *next = to[0] == '/' ? to : folder + "/" + to;
  return Step::kLink;
}

// Whatever lies past the last scan name is that device's own business (a
// pseudo-terminal, a loop the open will report), unless it is missing.
HubPath Walk::End(Step step) const {
  HubPath ended = walked_;
  ended.status = step == Step::kMissing ? HubPathStatus::kMissing
                 : ended.name.empty()   ? HubPathStatus::kRefused
                                        : HubPathStatus::kHub;
  if (ended.status != HubPathStatus::kHub) ended.name.clear();
  return ended;
}

}  // namespace

std::string ScanName(int32_t index) {
  return kHubNamePrefix + std::to_string(index);
}

bool IsHubName(const std::string& name) {
  if (name.compare(0, sizeof kHubNamePrefix - 1, kHubNamePrefix) != 0)
    return false;
  for (char ch : name)
    if (ch == '/' || IsControlByte(ch)) return false;
  return true;
}

bool IsScanName(const std::string& name) {
  const size_t prefix = sizeof kHubNamePrefix - 1;
  if (name.compare(0, prefix, kHubNamePrefix) != 0) return false;
  const std::string number = name.substr(std::min(prefix, name.size()));
  if (number.empty() || number.size() > 3 ||
      (number.size() > 1 && number[0] == '0'))
    return false;
  int32_t index = 0;
  for (char ch : number) {
    if (ch < '0' || ch > '9') return false;
    index = index * 10 + (ch - '0');
  }
  return index < kScanNames;
}

std::string HubDevice(const std::string& device_dir, const std::string& name) {
  return device_dir + name;
}

HubPath ResolveHubPath(const std::string& path, const std::string& device_dir) {
  if (path.compare(0, device_dir.size(), device_dir) != 0 || !IsCleanPath(path))
    return {};
  const std::string real_dir = RealFolder(device_dir);
  if (real_dir.empty()) return {};
  return Walk(real_dir).Run(path);
}
