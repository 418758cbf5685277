// A private /dev in which simulated hubs appear as /dev/ttyUSBn.
//
// EnterPrivateDev() moves the calling process into a mount namespace of
// its own and lays a tmpfs over /dev that holds what programs expect:
// null, zero, full, tty, random and urandom (bind mounts of the real
// ones), fd, stdin, stdout and stderr (links into /proc/self/fd), shm (a
// tmpfs), a pts directory with a devpts instance of its own (the host's,
// bound in, where none can be mounted) and ptmx -> pts/ptmx. /run/lock
// (and /var/lock where it is a directory of its own) get a tmpfs too, so
// that lock files never cross between the host and the private view.
// Links made with LinkDevice() then point device names at the simulators'
// /dev/pts/N. Nothing on the host's /dev changes, and every child process
// inherits the view.
//
// unshare() refuses a process that already runs threads, so this must be
// the first thing a program does.
#pragma once

#include <string>

namespace sandbox {

// "" on success, else why the private /dev could not be made.
std::string EnterPrivateDev();

// Makes /dev/<name> a symbolic link to target. "" on success.
std::string LinkDevice(const std::string& name, const std::string& target);

}  // namespace sandbox
