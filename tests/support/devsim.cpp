#include "devsim.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unistd.h>

extern "C" int __real_ioctl(int fd, unsigned long request, ...);

namespace devsim {
namespace {

std::mutex g_lock;

std::map<std::string, IoctlHandler> &registry()
{
	static std::map<std::string, IoctlHandler> devices;
	return devices;
}

std::string canonical(const std::string &path)
{
	char buf[PATH_MAX];
	if (realpath(path.c_str(), buf))
		return buf;
	return path;
}

} // namespace

void attach(const std::string &path, IoctlHandler handler)
{
	std::lock_guard<std::mutex> guard(g_lock);
	registry()[canonical(path)] = std::move(handler);
}

void detach(const std::string &path)
{
	std::lock_guard<std::mutex> guard(g_lock);
	registry().erase(canonical(path));
}

void detach_all()
{
	std::lock_guard<std::mutex> guard(g_lock);
	registry().clear();
}

std::string fd_path(int fd)
{
	char link[64];
	char buf[PATH_MAX];
	snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
	ssize_t n = readlink(link, buf, sizeof(buf) - 1);
	if (n <= 0)
		return {};
	buf[n] = '\0';
	return buf;
}

} // namespace devsim

extern "C" int __wrap_ioctl(int fd, unsigned long request, ...)
{
	va_list ap;
	va_start(ap, request);
	void *arg = va_arg(ap, void *);
	va_end(ap);

	devsim::IoctlHandler handler;
	{
		std::string path = devsim::fd_path(fd);
		std::lock_guard<std::mutex> guard(devsim::g_lock);
		auto it = devsim::registry().find(path);
		if (it != devsim::registry().end())
			handler = it->second;
	}
	if (handler) {
		int rc = handler(fd, request, arg);
		if (rc != devsim::kPass)
			return rc;
	}
	return __real_ioctl(fd, request, arg);
}
