#include "names/stablenames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/uniquefd.h"

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<std::vector<std::string>> StableNames(
    const std::string& device, const std::vector<std::string>& dirs) {
  std::vector<std::string> links;
  struct stat target;
  if (stat(device.c_str(), &target) != 0) return links;
  for (const std::string& dir : dirs) {
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr && (IsOutOfDescriptors(errno) || errno == ENOMEM))
      return std::nullopt;
    if (listing == nullptr) continue;
    std::vector<std::string> found;
    while (const struct dirent* entry = readdir(listing)) {
      const std::string path = dir + "/" + entry->d_name;
      struct stat link;
      struct stat resolved;
      if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) continue;
      if (stat(path.c_str(), &resolved) == 0 && SameFile(resolved, target))
        found.push_back(path);
    }
    // Only reads were made: nothing to lose if closing fails.
    (void)closedir(listing);
    std::sort(found.begin(), found.end());
    links.insert(links.end(), found.begin(), found.end());
  }
  return links;
}
