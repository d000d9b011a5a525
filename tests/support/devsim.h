// Simulated devices for host tests.
//
// Test builds link with -Wl,--wrap=ioctl: every ioctl() of the code under
// test reaches __wrap_ioctl, which looks up the path the descriptor was opened
// on (through /proc/self/fd) and hands the call to the device registered for
// that path. Descriptors of unregistered paths go to the real ioctl.
#pragma once

#include <functional>
#include <string>

namespace devsim {

// A device's ioctl handler. Return the ioctl's result (set errno and return
// -1 for a failure, as the kernel's wrapper does), or kPass to let the real
// ioctl handle the call.
using IoctlHandler = std::function<int(int fd, unsigned long request, void *arg)>;
inline constexpr int kPass = -0x7fff;

// Attach a simulated device to a path. The path is resolved with realpath()
// when it exists, so a regular file standing in for a device node matches.
// Registering a path again replaces its handler.
void attach(const std::string &path, IoctlHandler handler);
void detach(const std::string &path);
void detach_all();

// The path a descriptor was opened on ("" when unknown).
std::string fd_path(int fd);

} // namespace devsim
