#include "demohubs.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "devns.h"

namespace sandbox {

const char* const kDemoHubs[2] = {"ttyUSB0:4:05000000,firmware=1.3",
                                  "ttyUSB3:12:000A0000"};

namespace {

bool IsExecutable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// Makes /dev/<folder> and the folders above it unless they are there.
std::string MakeFolders(const std::string& folder) {
  for (size_t slash = 0; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    const std::string path = "/dev/" + folder.substr(0, slash);
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
      return "mkdir " + path + " failed";
  }
  return "";
}

// Links /dev/<name> to the hub as udev does: a target relative to its
// folder ("../../ttyUSB0"). A name that is already there is refused.
std::string LinkToHub(const std::string& name, const std::string& hub) {
  struct stat seen;
  if (lstat(("/dev/" + name).c_str(), &seen) == 0)
    return "/dev/" + name + " is there already";
  const size_t slash = name.rfind('/');
  std::string up;
  for (size_t i = 0; i < name.size(); ++i)
    if (name[i] == '/') up += "../";
  std::string error;
  if (slash != std::string::npos) error = MakeFolders(name.substr(0, slash));
  return error.empty() ? LinkDevice(name, up + hub) : error;
}

}  // namespace

std::string StartHubs(const std::vector<hubsim::HubSetup>& setups,
                      std::vector<std::unique_ptr<hubsim::Hub>>* hubs) {
  for (const hubsim::HubSetup& setup : setups) {
    hubs->push_back(std::make_unique<hubsim::Hub>(setup.config, setup.faults));
    if (!hubs->back()->Error().empty()) return hubs->back()->Error();
    std::string error = LinkDevice(setup.name, hubs->back()->TerminalPath());
    std::vector<std::string> names;
    for (const std::string& name : setup.by_id)
      names.push_back("serial/by-id/" + name);
    for (const std::string& name : setup.by_path)
      names.push_back("serial/by-path/" + name);
    for (const std::string& path : setup.links) names.push_back(path.substr(5));
    for (const std::string& name : names)
      if (error.empty()) error = LinkToHub(name, setup.name);
    if (!error.empty()) return error;
  }
  return "";
}

std::string DirectoryOfThisExecutable() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  const std::string exe(path, static_cast<size_t>(length));
  return exe.substr(0, exe.rfind('/'));
}

std::string FindTarvo() {
  const std::string here = DirectoryOfThisExecutable();
  if (!here.empty() && IsExecutable(here + "/tarvo")) return here + "/tarvo";
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t colon = dirs.find(':', start);
    const std::string dir = dirs.substr(start, colon - start);
    if (!dir.empty() && IsExecutable(dir + "/tarvo")) return dir + "/tarvo";
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return "";
}

}  // namespace sandbox
