// Helpers for the progress display suites: PNG files of any format, an
// in-memory display backend, and saving a surface as a PNG.
#pragma once

#include <atomic>
#include <thread>

#include "graphics.h"
#include "pngw.h"

#include <cstdint>
#include <string>
#include <vector>

namespace uitest {

// A fresh folder under the build tree for one test.
std::string scratch_dir(const std::string &name);

// Writes <dir>/<name>.png.
void write_png(const std::string &dir, const std::string &name, const png_out &img);
png_out rgb_image(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b);
png_out gray_image(uint32_t w, uint32_t h, uint8_t v);

// A display backend on memory: counts its calls, double-buffers like a
// framebuffer and keeps the last presented frame.
struct MemBackend {
	gr_backend ops;
	gr_surface surfaces[2];
	std::vector<uint8_t> pixels[2];
	int current = 0;
	int starts = 0;
	// Presents from any thread, and those made on the thread that built the
	// backend (the test's own calls, without the animation thread's).
	std::atomic<int> presents{0};
	std::atomic<int> caller_presents{0};
	std::thread::id caller = std::this_thread::get_id();
	bool fail_start = false;
	gr_surface *shown = nullptr;

	MemBackend(uint32_t w, uint32_t h);
	// Pixel (b, g, r, a) of the frame presented last.
	const uint8_t *shown_pixel(int x, int y) const;
};

// Saves a 4-byte surface (b, g, r, a) as an RGB PNG.
bool save_surface(const gr_surface *s, const std::string &path);

} // namespace uitest
