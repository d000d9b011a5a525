#include "adf.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kDevDir[] = "/dev";
std::string g_dev_dir = kDevDir;

// The common RGB and palette formats, searched when the caller names none.
constexpr uint32_t kDefaultFormats[] = {
	adf_fourcc('C', '8', ' ', ' '), adf_fourcc('R', 'G', 'B', '8'), adf_fourcc('B', 'G', 'R', '8'),
	adf_fourcc('X', 'R', '1', '5'), adf_fourcc('X', 'B', '1', '5'), adf_fourcc('R', 'X', '1', '5'),
	adf_fourcc('B', 'X', '1', '5'), adf_fourcc('A', 'R', '1', '5'), adf_fourcc('A', 'B', '1', '5'),
	adf_fourcc('R', 'A', '1', '5'), adf_fourcc('B', 'A', '1', '5'), adf_fourcc('R', 'G', '1', '6'),
	adf_fourcc('B', 'G', '1', '6'), adf_fourcc('R', 'G', '2', '4'), adf_fourcc('B', 'G', '2', '4'),
	adf_fourcc('X', 'R', '2', '4'), adf_fourcc('X', 'B', '2', '4'), adf_fourcc('R', 'X', '2', '4'),
	adf_fourcc('B', 'X', '2', '4'), adf_fourcc('X', 'R', '3', '0'), adf_fourcc('X', 'B', '3', '0'),
	adf_fourcc('R', 'X', '3', '0'), adf_fourcc('B', 'X', '3', '0'), adf_fourcc('A', 'R', '3', '0'),
	adf_fourcc('A', 'B', '3', '0'), adf_fourcc('R', 'A', '3', '0'), adf_fourcc('B', 'A', '3', '0'),
	adf_fourcc('A', 'R', '2', '4'), adf_fourcc('A', 'B', '2', '4'), adf_fourcc('R', 'A', '2', '4'),
	adf_fourcc('B', 'A', '2', '4'),
};
static_assert(std::size(kDefaultFormats) == 31);

// Hands a list over to the caller as a malloc'd array (null when empty).
ssize_t give_ids(const std::vector<uint32_t> &list, uint32_t **ids)
{
	*ids = nullptr;
	if (list.empty())
		return 0;
	auto *out = static_cast<uint32_t *>(malloc(list.size() * sizeof(uint32_t)));
	if (!out)
		return -ENOMEM;
	std::copy(list.begin(), list.end(), out);
	*ids = out;
	return ssize_t(list.size());
}

std::string node_path(const char *fmt, uint32_t a, uint32_t b = 0)
{
	char name[64];
	snprintf(name, sizeof(name), fmt, a, b);
	return g_dev_dir + "/" + name;
}

int open_node(const std::string &path, int flags)
{
	int fd = open(path.c_str(), flags | O_CLOEXEC);
	return fd < 0 ? -errno : fd;
}

// An array of n elements for the second information read (null for none).
template <typename T> bool alloc_array(T **out, uint32_t n, size_t elem = sizeof(T))
{
	*out = nullptr;
	if (n == 0)
		return true;
	*out = static_cast<T *>(calloc(n, elem));
	return *out != nullptr;
}

} // namespace

void adf_test_set_dev_dir(const char *dir)
{
	g_dev_dir = dir ? dir : kDevDir;
}

ssize_t adf_scan_nodes(const char *pattern, uint32_t **ids)
{
	*ids = nullptr;
	DIR *dir = opendir((g_dev_dir + "/").c_str());
	if (!dir)
		return -errno;
	std::vector<uint32_t> found;
	errno = 0;
	while (dirent *entry = readdir(dir)) {
		unsigned id;
		if (sscanf(entry->d_name, pattern, &id) == 1)
			found.push_back(id);
	}
	int err = errno;
	closedir(dir);
	if (err)
		return -err;
	return give_ids(found, ids);
}

ssize_t adf_list_devices(uint32_t **ids)
{
	return adf_scan_nodes("adf%u", ids);
}

ssize_t adf_list_interfaces(const adf_device *dev, uint32_t **ids)
{
	char pattern[64];
	snprintf(pattern, sizeof(pattern), "adf-interface%u.%%u", dev->id);
	return adf_scan_nodes(pattern, ids);
}

int adf_open_device(uint32_t id, int flags, adf_device *dev)
{
	dev->id = id;
	dev->fd = open_node(node_path("adf%u", id), flags);
	return dev->fd < 0 ? dev->fd : 0;
}

void adf_close_device(adf_device *dev)
{
	if (dev->fd >= 0)
		close(dev->fd);
	dev->fd = -1;
}

int adf_open_interface(const adf_device *dev, uint32_t id, int flags)
{
	return open_node(node_path("adf-interface%u.%u", dev->id, id), flags);
}

int adf_open_engine(const adf_device *dev, uint32_t id, int flags)
{
	return open_node(node_path("adf-overlay-engine%u.%u", dev->id, id), flags);
}

int adf_attach(const adf_device *dev, uint32_t engine, uint32_t interface)
{
	AdfAttachment a = {engine, interface};
	return ioctl(dev->fd, ADF_IOC_ATTACH, &a) < 0 ? -errno : 0;
}

int adf_detach(const adf_device *dev, uint32_t engine, uint32_t interface)
{
	AdfAttachment a = {engine, interface};
	return ioctl(dev->fd, ADF_IOC_DETACH, &a) < 0 ? -errno : 0;
}

// The information reads ask twice: once for the counts, once with arrays of
// those counts. The second answer may report more entries than there was
// room for (a display plugged in between); counts are cut to the arrays.

int adf_read_device_info(const adf_device *dev, AdfDeviceInfo *info)
{
	*info = {};
	if (ioctl(dev->fd, ADF_IOC_DEVICE_INFO, info) < 0)
		return -ENOMEM;
	const uint32_t n_att = info->n_attachments;
	const uint32_t n_allowed = info->n_allowed_attachments;
	const uint32_t n_custom = info->custom_data_size;
	AdfAttachment *att, *allowed;
	void *custom;
	bool ok = alloc_array(&att, n_att);
	ok = alloc_array(&allowed, n_allowed) && ok;
	ok = alloc_array(&custom, n_custom, 1) && ok;
	info->attachments = att;
	info->allowed_attachments = allowed;
	info->custom_data = custom;
	if (!ok) {
		adf_release_device_info(info);
		return -ENOMEM;
	}
	if (ioctl(dev->fd, ADF_IOC_DEVICE_INFO, info) < 0) {
		int err = -errno;
		info->attachments = att;
		info->allowed_attachments = allowed;
		info->custom_data = custom;
		adf_release_device_info(info);
		return err;
	}
	info->attachments = att;
	info->allowed_attachments = allowed;
	info->custom_data = custom;
	info->n_attachments = std::min(info->n_attachments, n_att);
	info->n_allowed_attachments = std::min(info->n_allowed_attachments, n_allowed);
	info->custom_data_size = std::min(info->custom_data_size, n_custom);
	return 0;
}

void adf_release_device_info(AdfDeviceInfo *info)
{
	free(info->attachments);
	free(info->allowed_attachments);
	free(info->custom_data);
	info->attachments = nullptr;
	info->allowed_attachments = nullptr;
	info->custom_data = nullptr;
	info->n_attachments = 0;
	info->n_allowed_attachments = 0;
	info->custom_data_size = 0;
}

int adf_read_interface_info(int fd, AdfInterfaceInfo *info)
{
	*info = {};
	if (ioctl(fd, ADF_IOC_INTERFACE_INFO, info) < 0)
		return -errno;
	const uint32_t n_modes = info->n_available_modes;
	const uint32_t n_custom = info->custom_data_size;
	AdfMode *modes;
	void *custom;
	bool ok = alloc_array(&modes, n_modes);
	ok = alloc_array(&custom, n_custom, 1) && ok;
	info->available_modes = modes;
	info->custom_data = custom;
	if (!ok) {
		adf_release_interface_info(info);
		return -ENOMEM;
	}
	int rc = ioctl(fd, ADF_IOC_INTERFACE_INFO, info) < 0 ? -errno : 0;
	info->available_modes = modes;
	info->custom_data = custom;
	if (rc < 0) {
		adf_release_interface_info(info);
		return rc;
	}
	info->n_available_modes = std::min(info->n_available_modes, n_modes);
	info->custom_data_size = std::min(info->custom_data_size, n_custom);
	return 0;
}

void adf_release_interface_info(AdfInterfaceInfo *info)
{
	free(info->available_modes);
	free(info->custom_data);
	info->available_modes = nullptr;
	info->custom_data = nullptr;
	info->n_available_modes = 0;
	info->custom_data_size = 0;
}

int adf_read_engine_info(int fd, AdfEngineInfo *info)
{
	*info = {};
	if (ioctl(fd, ADF_IOC_ENGINE_INFO, info) < 0)
		return -errno;
	const uint32_t n_formats = info->n_supported_formats;
	const uint32_t n_custom = info->custom_data_size;
	uint32_t *formats;
	void *custom;
	bool ok = alloc_array(&formats, n_formats);
	ok = alloc_array(&custom, n_custom, 1) && ok;
	info->supported_formats = formats;
	info->custom_data = custom;
	if (!ok) {
		adf_release_engine_info(info);
		return -ENOMEM;
	}
	int rc = ioctl(fd, ADF_IOC_ENGINE_INFO, info) < 0 ? -errno : 0;
	info->supported_formats = formats;
	info->custom_data = custom;
	if (rc < 0) {
		adf_release_engine_info(info);
		return rc;
	}
	info->n_supported_formats = std::min(info->n_supported_formats, n_formats);
	info->custom_data_size = std::min(info->custom_data_size, n_custom);
	return 0;
}

void adf_release_engine_info(AdfEngineInfo *info)
{
	free(info->supported_formats);
	free(info->custom_data);
	info->supported_formats = nullptr;
	info->custom_data = nullptr;
	info->n_supported_formats = 0;
	info->custom_data_size = 0;
}

namespace {

// The other end of each allowed attachment of the device that has `id` as
// its engine (by_engine) or as its interface.
ssize_t allowed_partners(const adf_device *dev, uint32_t id, bool by_engine, uint32_t **ids)
{
	*ids = nullptr;
	AdfDeviceInfo info;
	int rc = adf_read_device_info(dev, &info);
	if (rc < 0)
		return rc;
	std::vector<uint32_t> found;
	for (uint32_t i = 0; i < info.n_allowed_attachments; ++i) {
		const AdfAttachment &a = info.allowed_attachments[i];
		if (by_engine && a.overlay_engine == id)
			found.push_back(a.interface);
		else if (!by_engine && a.interface == id)
			found.push_back(a.overlay_engine);
	}
	adf_release_device_info(&info);
	return give_ids(found, ids);
}

// Keeps the ids whose node's information passes `test`. Any failure to open,
// read or close a node ends the filter with that error.
template <typename Info, typename Open, typename Read, typename Release, typename Test>
ssize_t filter_nodes(const adf_device *dev, const uint32_t *in, size_t n_in, uint32_t **out, Open open_fn,
		     Read read_fn, Release release_fn, Test test)
{
	*out = nullptr;
	std::vector<uint32_t> kept;
	for (size_t i = 0; i < n_in; ++i) {
		int fd = open_fn(dev, in[i], O_RDONLY);
		if (fd < 0)
			return fd;
		Info info;
		int rc = read_fn(fd, &info);
		if (rc < 0) {
			close(fd);
			return rc;
		}
		if (close(fd) < 0) {
			rc = -errno;
			release_fn(&info);
			return rc;
		}
		if (test(info))
			kept.push_back(in[i]);
		release_fn(&info);
	}
	return give_ids(kept, out);
}

bool supports_any(const AdfEngineInfo &info, const uint32_t *formats, size_t n_formats)
{
	for (uint32_t i = 0; i < info.n_supported_formats; ++i)
		for (size_t j = 0; j < n_formats; ++j)
			if (info.supported_formats[i] == formats[j])
				return true;
	return false;
}

} // namespace

ssize_t adf_interfaces_for_engine(const adf_device *dev, uint32_t engine, uint32_t **ids)
{
	return allowed_partners(dev, engine, true, ids);
}

ssize_t adf_engines_for_interface(const adf_device *dev, uint32_t interface, uint32_t **ids)
{
	return allowed_partners(dev, interface, false, ids);
}

ssize_t adf_filter_interfaces_by_type(const adf_device *dev, uint32_t type, const uint32_t *in, size_t n_in,
				      uint32_t **out)
{
	return filter_nodes<AdfInterfaceInfo>(dev, in, n_in, out, adf_open_interface, adf_read_interface_info,
					      adf_release_interface_info,
					      [type](const AdfInterfaceInfo &info) { return info.type == type; });
}

ssize_t adf_filter_interfaces_by_flag(const adf_device *dev, uint32_t flag, const uint32_t *in, size_t n_in,
				      uint32_t **out)
{
	return filter_nodes<AdfInterfaceInfo>(dev, in, n_in, out, adf_open_interface, adf_read_interface_info,
					      adf_release_interface_info,
					      [flag](const AdfInterfaceInfo &info) { return (info.flags & flag) != 0; });
}

ssize_t adf_filter_engines_by_format(const adf_device *dev, const uint32_t *formats, size_t n_formats,
				     const uint32_t *in, size_t n_in, uint32_t **out)
{
	return filter_nodes<AdfEngineInfo>(
		dev, in, n_in, out, adf_open_engine, adf_read_engine_info, adf_release_engine_info,
		[&](const AdfEngineInfo &info) { return supports_any(info, formats, n_formats); });
}

bool adf_engine_supports_format(int fd, uint32_t format)
{
	AdfEngineInfo info;
	if (adf_read_engine_info(fd, &info) < 0)
		return false;
	bool found = supports_any(info, &format, 1);
	adf_release_engine_info(&info);
	return found;
}

int adf_post(const adf_device *dev, const uint32_t *interfaces, size_t n_interfaces, const AdfBufferConfig *bufs,
	     size_t n_bufs, void *custom_data, size_t custom_data_size)
{
	AdfPostConfig cfg = {};
	cfg.n_interfaces = uint32_t(n_interfaces);
	cfg.interfaces = const_cast<uint32_t *>(interfaces);
	cfg.n_bufs = uint32_t(n_bufs);
	cfg.bufs = const_cast<AdfBufferConfig *>(bufs);
	cfg.custom_data_size = uint32_t(custom_data_size);
	cfg.custom_data = custom_data;
	cfg.complete_fence = 0;
	if (ioctl(dev->fd, ADF_IOC_POST, &cfg) < 0)
		return -errno;
	return cfg.complete_fence;
}

int adf_set_mode(int fd, const AdfMode *mode)
{
	return ioctl(fd, ADF_IOC_SET_MODE, mode) < 0 ? -errno : 0;
}

int adf_blank_interface(int fd, uint8_t mode)
{
	return ioctl(fd, ADF_IOC_BLANK, static_cast<unsigned long>(mode)) < 0 ? -errno : 0;
}

int adf_alloc_simple_buffer(int fd, uint16_t w, uint16_t h, uint32_t format, uint32_t *offset, uint32_t *pitch)
{
	AdfSimpleAlloc alloc = {};
	alloc.w = w;
	alloc.h = h;
	alloc.format = format;
	if (ioctl(fd, ADF_IOC_SIMPLE_ALLOC, &alloc) < 0)
		return -errno;
	*offset = alloc.offset;
	*pitch = alloc.pitch;
	return alloc.fd;
}

int adf_post_simple(int fd, uint32_t engine, uint32_t w, uint32_t h, uint32_t format, int buf_fd, uint32_t offset,
		    uint32_t pitch, int acquire_fence)
{
	AdfSimplePost post = {};
	post.buf.overlay_engine = engine;
	post.buf.width = w;
	post.buf.height = h;
	post.buf.format = format;
	post.buf.fd[0] = buf_fd;
	post.buf.offset[0] = offset;
	post.buf.pitch[0] = pitch;
	post.buf.n_planes = 1;
	post.buf.acquire_fence = acquire_fence;
	if (ioctl(fd, ADF_IOC_SIMPLE_POST, &post) < 0)
		return -errno;
	return post.complete_fence;
}

int adf_watch_event(int fd, uint8_t type, bool enabled)
{
	AdfEventSwitch sw = {type, uint8_t(enabled ? 1 : 0)};
	return ioctl(fd, ADF_IOC_EVENT_SWITCH, &sw) < 0 ? -errno : 0;
}

int adf_fetch_event(int fd, AdfEvent **event)
{
	AdfEvent header;
	ssize_t n = read(fd, &header, sizeof(header));
	if (n < 0)
		return -errno;
	if (size_t(n) < sizeof(header) || header.length < sizeof(header))
		return -EIO;
	auto *buf = static_cast<uint8_t *>(malloc(header.length));
	if (!buf)
		return -ENOMEM;
	memcpy(buf, &header, sizeof(header));
	const size_t rest = header.length - sizeof(header);
	if (rest > 0) {
		n = read(fd, buf + sizeof(header), rest);
		if (n < 0 || size_t(n) < rest) {
			int rc = n < 0 ? -errno : -EIO;
			free(buf);
			return rc;
		}
	}
	*event = reinterpret_cast<AdfEvent *>(buf);
	return 0;
}

int adf_pick_simple_post_path(const adf_device *dev, const uint32_t *formats, size_t n_formats, uint32_t *interface,
			      uint32_t *engine)
{
	uint32_t *intfs = nullptr;
	ssize_t n = adf_list_interfaces(dev, &intfs);
	if (n < 0)
		return int(n);
	if (n == 0)
		return -ENODEV;

	uint32_t *primary = nullptr;
	ssize_t n_primary = adf_filter_interfaces_by_flag(dev, ADF_INTF_FLAG_PRIMARY, intfs, size_t(n), &primary);
	free(intfs);
	if (n_primary < 0)
		return int(n_primary);
	if (n_primary == 0)
		return -ENODEV;

	if (!formats) {
		formats = kDefaultFormats;
		n_formats = std::size(kDefaultFormats);
	}
	int rc = -ENODEV;
	for (ssize_t i = 0; i < n_primary && rc != 0; ++i) {
		uint32_t *engines = nullptr;
		ssize_t n_engines = adf_engines_for_interface(dev, primary[i], &engines);
		if (n_engines > 0) {
			uint32_t *usable = nullptr;
			ssize_t n_usable = adf_filter_engines_by_format(dev, formats, n_formats, engines,
									size_t(n_engines), &usable);
			if (n_usable > 0) {
				*interface = primary[i];
				*engine = usable[0];
				rc = 0;
			}
			free(usable);
		}
		free(engines);
	}
	free(primary);
	return rc;
}
