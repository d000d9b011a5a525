// Framebuffer display backend on the OSD plane device /dev/fb0.
#include "graphics.h"

#include "vyr_osd.h"

#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

gr_surface *fb_start(gr_backend *);
gr_surface *fb_present(gr_backend *);
void fb_blank(gr_backend *, bool);
void fb_stop(gr_backend *);

gr_backend g_fb_ops = {fb_start, fb_present, fb_blank, fb_stop};

int g_fb_fd = -1;
bool g_double_buffered = false;
gr_surface *g_draw = nullptr;
gr_surface g_fb_surfaces[2];
uint32_t g_displayed = 0;
fb_var_screeninfo g_vi;
void *g_mapping = MAP_FAILED;
size_t g_mapping_len = 0;
const char *g_device_path = nullptr;

void print_osd_error(const char *fmt)
{
	int err = errno;
	printf(fmt, strerror(err), err);
}

void set_displayed_buffer(uint32_t n)
{
	if (!g_double_buffered || n > 1)
		return;
	g_vi.yres_virtual = g_fb_surfaces[0].height * 2;
	g_vi.yoffset = n * g_fb_surfaces[0].height;
	g_vi.bits_per_pixel = g_fb_surfaces[0].pixel_bytes * 8;
	if (ioctl(g_fb_fd, FBIOPUT_VSCREENINFO, &g_vi) < 0)
		perror("active fb swap failed");
	g_displayed = n;
}

// Configures the OSD plane for a full-screen picture above video. Returns
// false when start must give up.
bool configure_osd(const fb_var_screeninfo &vi, bool *send_update, bool *stride_set)
{
	*send_update = false;
	*stride_set = false;
	ST_DRV_OSD_DISP_WIN win = {};
	if (ioctl(g_fb_fd, KER_OSD_IO_GET_DISP_WIN, &win) < 0) {
		print_osd_error("get disp win failed err: %s (%d)\r\n");
		return false;
	}
	uint8_t separate = 0;
	if (ioctl(g_fb_fd, KER_OSD_IO_IS_TIMING_GEN, &separate) < 0) {
		print_osd_error("timing_gen failed err: %s (%d)\r\n");
		separate = 0;
	}
	printf("OSD mode is %s\n", separate ? "separate" : "blending");
	printf("get src W/H: %d/%d\r\n", int(win.stSrcWin.u32W), int(win.stSrcWin.u32H));
	printf("get dst W/H: %d/%d\r\n", int(win.stDstWin.u32W), int(win.stDstWin.u32H));

	if (!separate && win.stDstWin.u32W <= 4096) {
		printf("OSD display window depend on driver  - non-separate or stDstWin.u32W > 4096");
		return true;
	}

	uint32_t stride = 0;
	if (ioctl(g_fb_fd, KER_OSD_IO_GET_STRIDE, &stride) < 0) {
		print_osd_error(" Get stride failed err: %s (%d)\r\n");
		stride = 0;
	} else {
		printf("get stride: %d\r\n", int(stride));
	}
	if (stride == 0) {
		// Bytes per line of the plane's pixel format.
		stride = vi.xres * (vi.bits_per_pixel / 8);
		printf("set stride: %d\r\n", int(stride));
		if (ioctl(g_fb_fd, KER_OSD_IO_SET_STRIDE, (unsigned long)stride) < 0) {
			print_osd_error(" Set Stride failed err: %s (%d)\r\n");
			return false;
		}
		*stride_set = true;
	}
	if (ioctl(g_fb_fd, KER_OSD_IO_AUTO_MUTE_ENABLE, 0UL) < 0) {
		printf("disable auto mute error\n");
		return false;
	}
	ST_SIZE video = {win.stDstWin.u32W, win.stDstWin.u32H};
	if (ioctl(g_fb_fd, KER_OSD_IO_SET_VIDEO_WIN_SIZE, &video) < 0) {
		print_osd_error("set video win size failed err: %s (%d)\r\n");
		return false;
	}
	if (separate) {
		win.stDstWin.u32W = 1920;
		win.stDstWin.u32H = 1080;
		printf("set OSD display window 1920*1080 - separate");
	} else {
		printf("OSD display window depend on driver  - non-separate");
	}
	if (ioctl(g_fb_fd, KER_OSD_IO_SET_DISP_WIN, &win) < 0) {
		print_osd_error(" failed err: %s (%d)\r\n");
		return false;
	}
	if (ioctl(g_fb_fd, KER_OSD_IO_SKIPALPHA_ENABLE, 1UL) < 0)
		print_osd_error("ioctl osd plane region alpha enable failed err: %s (%d)\r\n");
	if (ioctl(g_fb_fd, KER_OSD_IO_PLANE_SHOW_ENABLE, 1UL) < 0)
		print_osd_error("ioctl plane enable failed err: %s (%d)\r\n");
	if (ioctl(g_fb_fd, KER_OSD_IO_REGION_SHOW_ENABLE, 1UL) < 0)
		print_osd_error("ioctl region enable failed err: %s (%d)\r\n");
	if (ioctl(g_fb_fd, KER_OSD_IO_SHOW_ENABLE, 1UL) < 0) {
		print_osd_error("ioctl layer enable failed err: %s (%d)\r\n");
		return false;
	}
	*send_update = true;
	return true;
}

gr_surface *fb_start(gr_backend *backend)
{
	g_fb_fd = open(g_device_path ? g_device_path : "/dev/fb0", O_RDWR | O_CLOEXEC);
	if (g_fb_fd < 0) {
		perror("cannot open fb0");
		return nullptr;
	}
	fb_fix_screeninfo fi;
	if (ioctl(g_fb_fd, FBIOGET_FSCREENINFO, &fi) < 0 || ioctl(g_fb_fd, FBIOGET_VSCREENINFO, &g_vi) < 0) {
		perror("failed to get fb0 info");
		close(g_fb_fd);
		g_fb_fd = -1;
		return nullptr;
	}
	printf("fb0 reports (possibly inaccurate):\n"
	       "  vi.bits_per_pixel = %d\n"
	       "  vi.red.offset   = %3d   .length = %3d\n"
	       "  vi.green.offset = %3d   .length = %3d\n"
	       "  vi.blue.offset  = %3d   .length = %3d\n",
	       int(g_vi.bits_per_pixel), int(g_vi.red.offset), int(g_vi.red.length),
	       int(g_vi.green.offset), int(g_vi.green.length), int(g_vi.blue.offset),
	       int(g_vi.blue.length));

	bool send_update = false;
	bool stride_set = false;
	if (!configure_osd(g_vi, &send_update, &stride_set))
		return nullptr;
	if (stride_set) {
		// The driver rounds a new stride up; draw with the line length it
		// actually scans out.
		fb_fix_screeninfo again;
		if (ioctl(g_fb_fd, FBIOGET_FSCREENINFO, &again) == 0)
			fi = again;
	}

	void *bits = mmap(nullptr, fi.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, g_fb_fd, 0);
	if (bits == MAP_FAILED) {
		perror("failed to mmap framebuffer");
		close(g_fb_fd);
		g_fb_fd = -1;
		return nullptr;
	}
	const size_t frame = size_t(fi.line_length) * g_vi.yres;
	if (fi.smem_len < frame || fi.line_length < uint64_t(g_vi.xres) * (g_vi.bits_per_pixel / 8)) {
		printf("framebuffer too small: %u bytes for %u lines of %u bytes\n",
		       unsigned(fi.smem_len), unsigned(g_vi.yres), unsigned(fi.line_length));
		munmap(bits, fi.smem_len);
		close(g_fb_fd);
		g_fb_fd = -1;
		return nullptr;
	}
	g_mapping = bits;
	g_mapping_len = fi.smem_len;
	memset(bits, 0, fi.smem_len);

	gr_surface &s0 = g_fb_surfaces[0];
	s0.width = g_vi.xres;
	s0.height = g_vi.yres;
	s0.row_bytes = fi.line_length;
	s0.pixel_bytes = g_vi.bits_per_pixel / 8;
	s0.data = static_cast<uint8_t *>(bits);
	memset(s0.data, 0, frame);

	if (fi.smem_len >= frame * 2) {
		g_double_buffered = true;
		g_fb_surfaces[1] = s0;
		g_fb_surfaces[1].data = s0.data + frame;
		memset(g_fb_surfaces[1].data, 0, frame);
		g_draw = &g_fb_surfaces[1];
		set_displayed_buffer(0);
	} else {
		g_double_buffered = false;
		auto *mem = static_cast<gr_surface *>(calloc(1, sizeof(gr_surface) + frame));
		if (!mem) {
			perror("failed to allocate in-memory surface");
			return nullptr;
		}
		*mem = s0;
		mem->data = reinterpret_cast<uint8_t *>(mem + 1);
		g_draw = mem;
	}
	printf("framebuffer: %d (%d x %d)\n", g_fb_fd, int(g_draw->width), int(g_draw->height));

	if (send_update) {
		ST_DRV_OSD_UPDATE_ENABLE update = {};
		update.u32UpdateMask = 14;
		update.bEnable = 1;
		if (ioctl(g_fb_fd, KER_OSD_IO_UPDATE_ENABLE, &update) < 0)
			print_osd_error("ioctl UPDATE_ENABLE enable failed err: %s (%d)\r\n");
	}
	fb_blank(backend, true);
	fb_blank(backend, false);
	return g_draw;
}

gr_surface *fb_present(gr_backend *)
{
	if (!g_draw)
		return nullptr;
	if (g_double_buffered) {
		g_draw = &g_fb_surfaces[g_displayed];
		set_displayed_buffer(1 - g_displayed);
		return g_draw;
	}
	gr_surface &out = g_fb_surfaces[0];
	for (uint32_t y = 0; y < g_draw->height; ++y) {
		const uint8_t *in = g_draw->data + size_t(y) * g_draw->row_bytes;
		uint8_t *o = out.data + size_t(y) * out.row_bytes;
		for (uint32_t x = 0; x + 4 <= g_draw->row_bytes; x += 4) {
			o[x] = in[x + 2];
			o[x + 1] = in[x + 1];
			o[x + 2] = in[x];
			o[x + 3] = in[x + 3];
		}
	}
	return g_draw;
}

void fb_blank(gr_backend *, bool blank)
{
	if (ioctl(g_fb_fd, FBIOBLANK, blank ? FB_BLANK_POWERDOWN : FB_BLANK_UNBLANK) < 0)
		perror("ioctl(): blank");
}

void fb_stop(gr_backend *)
{
	if (g_fb_fd >= 0)
		close(g_fb_fd);
	g_fb_fd = -1;
	if (!g_double_buffered)
		free(g_draw);
	if (g_mapping != MAP_FAILED)
		munmap(g_mapping, g_mapping_len);
	g_mapping = MAP_FAILED;
	g_mapping_len = 0;
	g_draw = nullptr;
	g_double_buffered = false;
}

} // namespace

void fbdev_test_set_path(const char *path)
{
	g_device_path = path;
}

gr_backend *open_fbdev()
{
	return &g_fb_ops;
}
