#include "events.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kMaxDevices = 16;
constexpr int kMaxExtra = 16;
constexpr int kMaxEntries = kMaxDevices + kMaxExtra;

struct fd_entry {
	int fd;
	ev_callback cb;
	void *data;
};

int g_epoll_fd = -1;
fd_entry g_entries[kMaxEntries];
int g_entry_count;
int g_device_count;
int g_extra_count;
epoll_event g_polled[kMaxEntries];
int g_polled_count;
const char *g_input_dir = nullptr;

constexpr uint32_t kEpollFlags = EPOLLIN | EPOLLWAKEUP;

bool test_bit(unsigned bit, const unsigned char *bits)
{
	return bits[bit / 8] & (1u << (bit % 8));
}

bool is_device(const fd_entry *entry)
{
	return entry >= g_entries && entry < g_entries + g_device_count;
}

// Takes a device that went away (unplugged, its receiver gone) out of the
// set, which would otherwise report it ready for ever. Its slot stays empty:
// the other entries are known to epoll by their addresses.
void remove_device(fd_entry *entry)
{
	epoll_ctl(g_epoll_fd, EPOLL_CTL_DEL, entry->fd, nullptr);
	close(entry->fd);
	*entry = {-1, nullptr, nullptr};
}

} // namespace

void input_test_set_dir(const char *dir)
{
	g_input_dir = dir;
}

int input_open(ev_callback cb, void *data)
{
	// The table holds one set of devices.
	if (g_epoll_fd >= 0)
		return -1;
	g_epoll_fd = epoll_create(kMaxEntries);
	if (g_epoll_fd < 0) {
		g_epoll_fd = -1;
		return -1;
	}

	DIR *dir = opendir(g_input_dir ? g_input_dir : "/dev/input");
	if (!dir)
		return 0;

	bool add_failed = false;
	while (dirent *de = readdir(dir)) {
		if (strncmp(de->d_name, "event", 5) != 0)
			continue;
		int fd = openat(dirfd(dir), de->d_name, O_RDONLY | O_CLOEXEC);
		if (fd < 0)
			continue;
		unsigned char ev_bits[4] = {};
		if (ioctl(fd, EVIOCGBIT(0, sizeof(ev_bits)), ev_bits) < 0 ||
		    (!test_bit(EV_KEY, ev_bits) && !test_bit(EV_REL, ev_bits))) {
			close(fd);
			continue;
		}
		fd_entry *entry = &g_entries[g_entry_count];
		epoll_event ev = {};
		ev.events = kEpollFlags;
		ev.data.ptr = entry;
		if (epoll_ctl(g_epoll_fd, EPOLL_CTL_ADD, fd, &ev) < 0) {
			add_failed = true;
			close(fd);
			continue;
		}
		*entry = {fd, cb, data};
		++g_entry_count;
		if (++g_device_count == kMaxDevices)
			break;
	}
	closedir(dir);

	if (add_failed && g_entry_count == 0) {
		close(g_epoll_fd);
		g_epoll_fd = -1;
		return -1;
	}
	return 0;
}

int input_add_fd(int fd, ev_callback cb, void *data)
{
	if (g_extra_count == kMaxExtra || !cb || g_epoll_fd < 0)
		return -1;
	fd_entry *entry = &g_entries[g_entry_count];
	epoll_event ev = {};
	ev.events = kEpollFlags;
	ev.data.ptr = entry;
	int rc = epoll_ctl(g_epoll_fd, EPOLL_CTL_ADD, fd, &ev);
	if (rc < 0)
		return rc;
	*entry = {fd, cb, data};
	++g_entry_count;
	++g_extra_count;
	return 0;
}

void input_close()
{
	while (g_entry_count > 0) {
		--g_entry_count;
		if (g_entries[g_entry_count].fd >= 0)
			close(g_entries[g_entry_count].fd);
		g_entries[g_entry_count] = {};
	}
	g_device_count = 0;
	g_extra_count = 0;
	g_polled_count = 0;
	if (g_epoll_fd >= 0)
		close(g_epoll_fd);
	g_epoll_fd = -1;
}

int input_wait(int timeout_ms)
{
	g_polled_count = 0;
	if (g_epoll_fd < 0) {
		// Nothing can ever become ready: wait out the time-out (or for
		// ever) instead of returning at once to a caller that loops.
		poll(nullptr, 0, timeout_ms);
		return -1;
	}
	// The whole array is offered even when no entry exists yet: an empty
	// set then blocks like any other instead of failing at once.
	int n = epoll_wait(g_epoll_fd, g_polled, kMaxEntries, timeout_ms);
	if (n <= 0)
		return -1;
	g_polled_count = n;
	return 0;
}

void input_dispatch()
{
	for (int i = 0; i < g_polled_count; ++i) {
		auto *entry = static_cast<fd_entry *>(g_polled[i].data.ptr);
		if (entry && is_device(entry) && entry->fd >= 0 && (g_polled[i].events & (EPOLLHUP | EPOLLERR)))
			remove_device(entry);
		else if (entry && entry->cb)
			entry->cb(entry->fd, g_polled[i].events, entry->data);
	}
}

int input_read_event(int fd, uint32_t epevents, struct input_event *ev)
{
	if (!(epevents & EPOLLIN))
		return -1;
	ssize_t n = read(fd, ev, sizeof(*ev));
	if (n < 0 && errno == ENODEV) {
		for (int i = 0; i < g_device_count; ++i)
			if (g_entries[i].fd == fd)
				remove_device(&g_entries[i]);
	}
	return n == ssize_t(sizeof(*ev)) ? 0 : -1;
}

int input_replay_held_keys(ev_set_key_callback cb, void *data)
{
	for (int i = 0; i < g_device_count; ++i) {
		int fd = g_entries[i].fd;
		if (fd < 0)
			continue;
		unsigned char ev_bits[4] = {};
		unsigned char key_bits[96] = {};
		if (ioctl(fd, EVIOCGBIT(0, sizeof(ev_bits)), ev_bits) < 0 || !test_bit(EV_KEY, ev_bits))
			continue;
		if (ioctl(fd, EVIOCGKEY(sizeof(key_bits)), key_bits) < 0)
			continue;
		for (int code = 0; code < int(sizeof(key_bits) * 8); ++code)
			if (test_bit(code, key_bits))
				cb(code, 1, data);
	}
	return 0;
}
