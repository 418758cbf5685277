#include "demohubs.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "devns.h"

namespace hubsim {

const char* const kDemoHubs[2] = {"ttyUSB0:4:05000000,firmware=1.3",
                                  "ttyUSB3:12:000A0000"};

namespace {

bool IsExecutable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// Makes /dev/<folder> unless it is there.
std::string MakeFolder(const std::string& folder) {
  const std::string path = "/dev/" + folder;
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
    return "mkdir " + path + " failed";
  return "";
}

}  // namespace

std::string StartHubs(const std::vector<HubSetup>& setups,
                      std::vector<std::unique_ptr<Hub>>* hubs) {
  for (const HubSetup& setup : setups) {
    hubs->push_back(std::make_unique<Hub>(setup.config, setup.faults));
    if (!hubs->back()->Error().empty()) return hubs->back()->Error();
    std::string error = LinkDevice(setup.name, hubs->back()->TerminalPath());
    for (const auto& [folder, names] :
         {std::make_pair("serial/by-id", &setup.by_id),
          std::make_pair("serial/by-path", &setup.by_path)})
      for (const std::string& name : *names) {
        if (error.empty()) error = MakeFolder("serial");
        if (error.empty()) error = MakeFolder(folder);
        if (error.empty())
          error = LinkDevice(std::string(folder) + "/" + name,
                             "../../" + setup.name);
      }
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

}  // namespace hubsim
