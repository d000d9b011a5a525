#include "fb_model.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace devmodels {

void FbOsdModel::attach(const std::string &file)
{
	path = file;
	int fd = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
	if (fd >= 0) {
		if (ftruncate(fd, smem_len) != 0) {
			// a short file makes the mapping fail, which tests then see
		}
		close(fd);
	}
	var = {};
	var.xres = xres;
	var.yres = yres;
	var.xres_virtual = xres;
	var.yres_virtual = yres;
	var.bits_per_pixel = bits_per_pixel;
	var.blue = {0, 8, 0};
	var.green = {8, 8, 0};
	var.red = {16, 8, 0};
	var.transp = {24, alpha_length, 0};
	devsim::attach(file, [this](int, unsigned long request, void *arg) { return handle(request, arg); });
}

void FbOsdModel::detach()
{
	devsim::detach(path);
	unlink(path.c_str());
}

std::vector<uint8_t> FbOsdModel::memory(size_t offset, size_t len) const
{
	std::vector<uint8_t> out(len);
	int fd = open(path.c_str(), O_RDONLY);
	if (fd >= 0) {
		if (pread(fd, out.data(), len, off_t(offset)) != ssize_t(len))
			out.clear();
		close(fd);
	}
	return out;
}

std::vector<unsigned long> FbOsdModel::osd_commands() const
{
	std::vector<unsigned long> out;
	for (const Call &c : calls)
		if (_IOC_TYPE(c.cmd) == KER_OSD_IO_TYPE)
			out.push_back(c.cmd);
	return out;
}

const FbOsdModel::Call *FbOsdModel::last(unsigned long cmd) const
{
	for (auto it = calls.rbegin(); it != calls.rend(); ++it)
		if (it->cmd == cmd)
			return &*it;
	return nullptr;
}

int FbOsdModel::handle(unsigned long request, void *arg)
{
	Call call{request, reinterpret_cast<unsigned long>(arg), {}};
	auto record = [&](size_t n) {
		const auto *p = static_cast<const uint8_t *>(arg);
		call.record.assign(p, p + n);
	};
	const bool fail = failing.count(request) != 0;
	int rc = 0;
	switch (request) {
	case FBIOGET_FSCREENINFO: {
		fb_fix_screeninfo fi = {};
		fi.smem_len = smem_len;
		fi.line_length = line_length;
		fi.type = FB_TYPE_PACKED_PIXELS;
		fi.visual = FB_VISUAL_TRUECOLOR;
		if (!fail)
			memcpy(arg, &fi, sizeof(fi));
		break;
	}
	case FBIOGET_VSCREENINFO:
		if (!fail)
			memcpy(arg, &var, sizeof(var));
		break;
	case FBIOPUT_VSCREENINFO:
		record(sizeof(fb_var_screeninfo));
		if (!fail)
			memcpy(&var, arg, sizeof(var));
		break;
	case FBIOBLANK:
		break;
	case KER_OSD_IO_GET_DISP_WIN:
		if (!fail)
			memcpy(arg, &disp_win, sizeof(disp_win));
		break;
	case KER_OSD_IO_IS_TIMING_GEN:
		if (!fail)
			*static_cast<uint8_t *>(arg) = separate; // one byte only
		break;
	case KER_OSD_IO_GET_STRIDE:
		if (!fail)
			memcpy(arg, &stride, sizeof(stride));
		break;
	case KER_OSD_IO_SET_STRIDE:
		if (!fail) {
			stride = uint32_t(call.value);
			line_length = (stride + stride_align - 1) / stride_align * stride_align;
		}
		break;
	case KER_OSD_IO_SET_VIDEO_WIN_SIZE:
		record(sizeof(ST_SIZE));
		break;
	case KER_OSD_IO_SET_DISP_WIN:
		record(sizeof(ST_DRV_OSD_DISP_WIN));
		break;
	case KER_OSD_IO_UPDATE_ENABLE:
		record(sizeof(ST_DRV_OSD_UPDATE_ENABLE));
		break;
	case KER_OSD_IO_AUTO_MUTE_ENABLE:
	case KER_OSD_IO_SKIPALPHA_ENABLE:
	case KER_OSD_IO_PLANE_SHOW_ENABLE:
	case KER_OSD_IO_REGION_SHOW_ENABLE:
	case KER_OSD_IO_SHOW_ENABLE:
		break;
	default:
		errno = ENOTTY;
		rc = -1;
		break;
	}
	calls.push_back(std::move(call));
	if (fail) {
		errno = EIO;
		return -1;
	}
	return rc;
}

} // namespace devmodels
