// A framebuffer device of the OSD display-plane driver, answered through
// devsim: a regular file of smem_len bytes stands in for the node (so mmap
// works) and the model answers the framebuffer and OSD ioctls, logging each.
#pragma once

#include "devsim.h"
#include "vyr_osd.h"

#include <linux/fb.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace devmodels {

struct FbOsdModel {
	struct Call {
		unsigned long cmd;
		unsigned long value;         // the argument as a scalar
		std::vector<uint8_t> record; // what a pointer argument carried
	};

	// Configuration, set before attach.
	uint32_t xres = 320;
	uint32_t yres = 240;
	uint32_t bits_per_pixel = 32;
	uint32_t alpha_length = 8;
	uint32_t line_length = 320 * 4;
	uint32_t smem_len = 2 * 320 * 4 * 240;
	uint8_t separate = 0;             // timing-generator answer
	ST_DRV_OSD_DISP_WIN disp_win = {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}};
	uint32_t stride = 1280;           // GET_STRIDE answer
	uint32_t stride_align = 32;       // SET_STRIDE rounds up to this
	std::set<unsigned long> failing;  // commands answered with EIO

	// Observed.
	std::vector<Call> calls;
	fb_var_screeninfo var = {};
	std::string path;

	// Creates the backing file at path and attaches the model to it.
	void attach(const std::string &file);
	void detach();
	// Bytes of the framebuffer memory as the device holds them.
	std::vector<uint8_t> memory(size_t offset, size_t len) const;
	// The OSD vendor commands received, in order.
	std::vector<unsigned long> osd_commands() const;
	// The last call of a command (null when never received).
	const Call *last(unsigned long cmd) const;

	int handle(unsigned long request, void *arg);
};

} // namespace devmodels
