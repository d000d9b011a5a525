#include "adf_model.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace devmodels {

namespace {

enum Kind { kDevice, kInterface, kEngine };

std::string fourcc_text(uint32_t f)
{
	return std::string{char(f), char(f >> 8), char(f >> 16), char(f >> 24)};
}

void copy_name(char (&out)[32], const std::string &name)
{
	memset(out, 0, sizeof(out));
	memcpy(out, name.data(), std::min(name.size(), sizeof(out) - 1));
}

// Copies what fits of a list into the caller's array (as the driver does)
// and reports the full count.
template <typename T> void fill_list(uint32_t *count, T *dst, const std::vector<T> &src)
{
	if (dst)
		std::copy_n(src.begin(), std::min<size_t>(*count, src.size()), dst);
	*count = uint32_t(src.size());
}

int new_memfd(const char *name, size_t size)
{
	int fd = memfd_create(name, MFD_CLOEXEC);
	if (fd < 0)
		return -1;
	if (ftruncate(fd, off_t(size)) != 0) {
		close(fd);
		return -1;
	}
	return fd;
}

} // namespace

AdfMode adf_mode(uint16_t w, uint16_t h, uint32_t refresh)
{
	AdfMode m = {};
	m.hdisplay = w;
	m.hsync_start = uint16_t(w + 8);
	m.hsync_end = uint16_t(w + 16);
	m.htotal = uint16_t(w + 32);
	m.vdisplay = h;
	m.vsync_start = uint16_t(h + 2);
	m.vsync_end = uint16_t(h + 4);
	m.vtotal = uint16_t(h + 8);
	m.vrefresh = refresh;
	m.clock = uint32_t(m.htotal) * m.vtotal * refresh / 1000;
	snprintf(m.name, sizeof(m.name), "%ux%u", unsigned(w), unsigned(h));
	return m;
}

void AdfModel::attach(const std::string &folder)
{
	dir = folder;
	auto node = [&](const std::string &name, int kind, uint32_t index) {
		std::string path = dir + "/" + name;
		std::ofstream(path).put('\0');
		devsim::attach(path, [this, kind, index](int fd, unsigned long request, void *arg) {
			return handle(kind, index, fd, request, arg);
		});
	};
	node("adf" + std::to_string(id), kDevice, 0);
	for (uint32_t i = 0; i < interfaces.size(); ++i)
		node("adf-interface" + std::to_string(id) + "." + std::to_string(i), kInterface, i);
	for (uint32_t e = 0; e < engines.size(); ++e)
		node("adf-overlay-engine" + std::to_string(id) + "." + std::to_string(e), kEngine, e);
}

void AdfModel::detach()
{
	if (dir.empty())
		return;
	auto drop = [&](const std::string &name) {
		devsim::detach(dir + "/" + name);
		unlink((dir + "/" + name).c_str());
	};
	drop("adf" + std::to_string(id));
	for (uint32_t i = 0; i < interfaces.size(); ++i)
		drop("adf-interface" + std::to_string(id) + "." + std::to_string(i));
	for (uint32_t e = 0; e < engines.size(); ++e)
		drop("adf-overlay-engine" + std::to_string(id) + "." + std::to_string(e));
	dir.clear();
}

int AdfModel::handle(int kind, uint32_t index, int, unsigned long request, void *arg)
{
	auto fail = [](int err) {
		errno = err;
		return -1;
	};
	if (auto it = failing.find(request); it != failing.end()) {
		log.push_back("failed " + std::to_string(request & 0xff));
		return fail(it->second);
	}
	int rc = 0;
	char line[160];
	line[0] = '\0';
	switch (kind * 0x100 + int(_IOC_NR(request))) {
	case kDevice * 0x100 + _IOC_NR(ADF_IOC_DEVICE_INFO): {
		if (request != ADF_IOC_DEVICE_INFO)
			return fail(ENOTTY);
		auto *info = static_cast<AdfDeviceInfo *>(arg);
		copy_name(info->name, name);
		fill_list(&info->n_attachments, info->attachments, attached);
		fill_list(&info->n_allowed_attachments, info->allowed_attachments, allowed);
		std::vector<char> custom(custom_data.begin(), custom_data.end());
		fill_list(&info->custom_data_size, static_cast<char *>(info->custom_data), custom);
		snprintf(line, sizeof(line), "device info%s", info->allowed_attachments ? "" : " (counts)");
		break;
	}
	case kDevice * 0x100 + _IOC_NR(ADF_IOC_ATTACH):
	case kDevice * 0x100 + _IOC_NR(ADF_IOC_DETACH): {
		if (request != ADF_IOC_ATTACH && request != ADF_IOC_DETACH)
			return fail(ENOTTY);
		const auto *a = static_cast<const AdfAttachment *>(arg);
		auto same = [a](const AdfAttachment &b) {
			return a->overlay_engine == b.overlay_engine && a->interface == b.interface;
		};
		const bool attach = request == ADF_IOC_ATTACH;
		snprintf(line, sizeof(line), "%s engine %u interface %u", attach ? "attach" : "detach",
			 unsigned(a->overlay_engine), unsigned(a->interface));
		log.push_back(line);
		auto it = std::find_if(attached.begin(), attached.end(), same);
		if (attach) {
			if (it != attached.end())
				return fail(EALREADY);
			if (std::none_of(allowed.begin(), allowed.end(), same))
				return fail(EINVAL);
			attached.push_back(*a);
		} else {
			if (it == attached.end())
				return fail(EINVAL);
			attached.erase(it);
		}
		line[0] = '\0';
		break;
	}
	case kDevice * 0x100 + _IOC_NR(ADF_IOC_POST): {
		if (request != ADF_IOC_POST)
			return fail(ENOTTY);
		auto *cfg = static_cast<AdfPostConfig *>(arg);
		if (cfg->complete_fence != 0)
			return fail(EINVAL);
		for (uint32_t b = 0; b < cfg->n_bufs; ++b)
			for (uint32_t i = 0; i < cfg->n_interfaces; ++i)
				posts.push_back({cfg->interfaces[i], cfg->bufs[b], {}});
		cfg->complete_fence = fences ? new_memfd("adf-fence", 0) : -1;
		snprintf(line, sizeof(line), "post %u interfaces %u buffers %u bytes", unsigned(cfg->n_interfaces),
			 unsigned(cfg->n_bufs), unsigned(cfg->custom_data_size));
		break;
	}
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_INTERFACE_INFO): {
		if (request != ADF_IOC_INTERFACE_INFO)
			return fail(ENOTTY);
		const Interface &intf = interfaces[index];
		auto *info = static_cast<AdfInterfaceInfo *>(arg);
		copy_name(info->name, intf.name);
		info->type = intf.type;
		info->id = index;
		info->flags = intf.flags;
		info->dpms_state = 0;
		info->hotplug_detect = 1;
		info->width_mm = 600;
		info->height_mm = 340;
		info->current_mode = intf.current;
		fill_list(&info->n_available_modes, info->available_modes, intf.modes);
		info->custom_data_size = 0;
		snprintf(line, sizeof(line), "interface %u info%s", unsigned(index),
			 info->available_modes ? "" : " (counts)");
		break;
	}
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_BLANK):
		if (request != ADF_IOC_BLANK)
			return fail(ENOTTY);
		snprintf(line, sizeof(line), "interface %u blank %lu", unsigned(index), reinterpret_cast<unsigned long>(arg));
		break;
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_SET_MODE):
		if (request != ADF_IOC_SET_MODE)
			return fail(ENOTTY);
		interfaces[index].current = *static_cast<const AdfMode *>(arg);
		snprintf(line, sizeof(line), "interface %u mode %s", unsigned(index), interfaces[index].current.name);
		break;
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_SIMPLE_ALLOC): {
		if (request != ADF_IOC_SIMPLE_ALLOC)
			return fail(ENOTTY);
		auto *alloc = static_cast<AdfSimpleAlloc *>(arg);
		snprintf(line, sizeof(line), "interface %u alloc %ux%u %s", unsigned(index), unsigned(alloc->w),
			 unsigned(alloc->h), fourcc_text(alloc->format).c_str());
		log.push_back(line);
		if (allocs_left == 0)
			return fail(ENOMEM);
		if (allocs_left > 0)
			--allocs_left;
		const uint32_t pitch = uint32_t(int64_t(alloc->w) * 4 + pitch_pad + pitch_delta);
		int fd = new_memfd("adf-buffer", size_t(buffer_offset) + size_t(pitch) * alloc->h);
		if (fd < 0)
			return fail(ENOMEM);
		if (unmappable_buffers) {
			char self[64];
			snprintf(self, sizeof(self), "/proc/self/fd/%d", fd);
			int ro = open(self, O_RDONLY | O_CLOEXEC);
			close(fd);
			fd = ro;
		}
		alloc->fd = fd;
		alloc->offset = buffer_offset;
		alloc->pitch = pitch;
		line[0] = '\0';
		break;
	}
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_SIMPLE_POST): {
		if (request != ADF_IOC_SIMPLE_POST)
			return fail(ENOTTY);
		auto *post = static_cast<AdfSimplePost *>(arg);
		const AdfBufferConfig &buf = post->buf;
		Post seen{index, buf, {}};
		seen.pixels.resize(size_t(buf.pitch[0]) * buf.height);
		if (pread(buf.fd[0], seen.pixels.data(), seen.pixels.size(), off_t(buf.offset[0])) !=
		    ssize_t(seen.pixels.size()))
			return fail(EBADF);
		posts.push_back(std::move(seen));
		post->complete_fence = fences ? new_memfd("adf-fence", 0) : -1;
		snprintf(line, sizeof(line), "interface %u post engine %u %ux%u %s pitch %u", unsigned(index),
			 unsigned(buf.overlay_engine), unsigned(buf.width), unsigned(buf.height),
			 fourcc_text(buf.format).c_str(), unsigned(buf.pitch[0]));
		break;
	}
	case kEngine * 0x100 + _IOC_NR(ADF_IOC_ENGINE_INFO): {
		if (request != ADF_IOC_ENGINE_INFO)
			return fail(ENOTTY);
		auto *info = static_cast<AdfEngineInfo *>(arg);
		copy_name(info->name, engines[index].name);
		fill_list(&info->n_supported_formats, info->supported_formats, engines[index].formats);
		info->custom_data_size = 0;
		snprintf(line, sizeof(line), "engine %u info%s", unsigned(index),
			 info->supported_formats ? "" : " (counts)");
		break;
	}
	case kDevice * 0x100 + _IOC_NR(ADF_IOC_EVENT_SWITCH):
	case kInterface * 0x100 + _IOC_NR(ADF_IOC_EVENT_SWITCH): {
		if (request != ADF_IOC_EVENT_SWITCH)
			return fail(ENOTTY);
		const auto *sw = static_cast<const AdfEventSwitch *>(arg);
		snprintf(line, sizeof(line), "event %u %s", unsigned(sw->type), sw->enabled ? "on" : "off");
		break;
	}
	default:
		return fail(ENOTTY);
	}
	if (line[0])
		log.push_back(line);
	if (after)
		after(request);
	return rc;
}

namespace {

int count_lines(const char *folder_or_file, bool maps)
{
	int n = 0;
	if (maps) {
		std::ifstream in(folder_or_file);
		for (std::string line; std::getline(in, line);)
			if (line.find("memfd:adf-buffer") != std::string::npos)
				++n;
		return n;
	}
	DIR *d = opendir(folder_or_file);
	if (!d)
		return -1;
	while (dirent *e = readdir(d)) {
		std::string target = devsim::fd_path(atoi(e->d_name));
		if (e->d_name[0] != '.' && target.find("memfd:adf-") != std::string::npos)
			++n;
	}
	closedir(d);
	return n;
}

} // namespace

int adf_open_buffer_descriptors()
{
	return count_lines("/proc/self/fd", false);
}

int adf_buffer_mappings()
{
	return count_lines("/proc/self/maps", true);
}

} // namespace devmodels
