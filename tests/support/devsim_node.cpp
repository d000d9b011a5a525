#include "devsim_node.h"

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sys/stat.h>

extern "C" int __real_stat64(const char *path, struct stat64 *st);

namespace devsim {
namespace {

struct Node {
	mode_t type;
	dev_t rdev;
};

std::mutex g_node_lock;

std::map<std::string, Node> &nodes()
{
	static std::map<std::string, Node> table;
	return table;
}

std::string resolved(const char *path)
{
	char buf[PATH_MAX];
	if (realpath(path, buf))
		return buf;
	return path;
}

} // namespace

void set_node(const std::string &path, mode_t type, dev_t rdev)
{
	std::lock_guard<std::mutex> guard(g_node_lock);
	nodes()[resolved(path.c_str())] = {static_cast<mode_t>(type & S_IFMT), rdev};
}

void clear_nodes()
{
	std::lock_guard<std::mutex> guard(g_node_lock);
	nodes().clear();
}

} // namespace devsim

extern "C" int __wrap_stat64(const char *path, struct stat64 *st)
{
	int ret = __real_stat64(path, st);
	if (ret != 0 || path == nullptr)
		return ret;
	std::lock_guard<std::mutex> guard(devsim::g_node_lock);
	if (devsim::nodes().empty())
		return ret;
	auto it = devsim::nodes().find(devsim::resolved(path));
	if (it != devsim::nodes().end()) {
		st->st_mode = (st->st_mode & ~S_IFMT) | it->second.type;
		st->st_rdev = it->second.rdev;
	}
	return ret;
}
