// Judges the frames that the VM stage read back from the real plane while
// fwupdate ran (tests/vm/fwshot.c, run.d/60-fwupdate): each is saved as a
// PNG and compared with what the screen's layout gives at the plane's size.
// Prints one "vm: PASS"/"vm: FAIL" line per frame and per requirement.
//
//   vm_frames RES_DIR FRAMES_DIR OUT_DIR
// FRAMES_DIR holds "frames" (lines "label width height grabs") and <label>.rle:
// runs of 4-byte pixels (blue, green, red, alpha), each a little-endian u32
// count and the pixel.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pngw.h"
#include "screen_layout.h"

namespace {

using screenlayout::Art;
using screenlayout::Frame;

int failures = 0;

void verdict(const std::string &name, const std::string &why)
{
	if (why.empty()) {
		printf("vm: PASS fwupdate-frame-%s\n", name.c_str());
	} else {
		printf("vm: FAIL fwupdate-frame-%s: %s\n", name.c_str(), why.c_str());
		failures++;
	}
}

bool save_png(const std::string &bgra, int w, int h, const std::string &path)
{
	png_out img;
	img.width = uint32_t(w);
	img.height = uint32_t(h);
	img.color_type = PNG_COLOR_TYPE_RGB;
	img.rows.resize(size_t(w) * h * 3);
	for (size_t i = 0, n = size_t(w) * h; i < n; i++) {
		img.rows[i * 3 + 0] = uint8_t(bgra[i * 4 + 2]);
		img.rows[i * 3 + 1] = uint8_t(bgra[i * 4 + 1]);
		img.rows[i * 3 + 2] = uint8_t(bgra[i * 4 + 0]);
	}
	return png_write_file(path, img);
}

// The progress view with its bar somewhere in [lo, hi] of the whole update:
// "" when the frame is that view for a position whose bar length and
// percentage are the ones shown.
std::string progress_view(const Frame &shown, const Art &art, double lo, double hi, int *length)
{
	const int icon = screenlayout::shown_icon_frame(shown, art);
	if (icon < 0)
		return "no frame of the installing animation at the centre";
	const int w = art.bar_empty.width;
	const int len = screenlayout::shown_bar_length(shown, art);
	*length = len;
	if (len < 0)
		return "no progress bar";
	std::string first_diff;
	for (int n = 0; n <= 100; n++) {
		const double a = std::max({double(len) / w, n / 100.0, lo});
		const double b = std::min({double(len + 1) / w, (n + 1) / 100.0, hi + 1e-9});
		if (a >= b)
			continue;
		const double p = (a + b) / 2;
		if (screenlayout::bar_length(p, w) != len || int(p * 100) != n)
			continue;
		std::string d = screenlayout::compare(screenlayout::progress_frame(shown.width, shown.height, art,
										     size_t(icon), p),
						      shown);
		if (d.empty())
			return "";
		if (first_diff.empty())
			first_diff = "at" + screenlayout::percent_text(p) + ": " + d;
	}
	if (first_diff.empty())
		return "bar of " + std::to_string(len) + " of " + std::to_string(w) + " pixels lies outside " +
		       std::to_string(lo) + ".." + std::to_string(hi);
	return first_diff;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 4) {
		fprintf(stderr, "usage: vm_frames RES_DIR FRAMES_DIR OUT_DIR\n");
		return 2;
	}
	const std::string res = argv[1], dir = argv[2], out = argv[3];
	Art art;
	if (std::string missing = screenlayout::load_art(res, art); !missing.empty()) {
		verdict("art", missing);
		return 1;
	}
	std::ifstream list(dir + "/frames");
	std::string line;
	bool verifying = false, updating = false, final = false, part_filled = false;
	const int quarter = screenlayout::bar_length(0.25, art.bar_empty.width);
	while (std::getline(list, line)) {
		std::istringstream in(line);
		std::string label;
		int w = 0, h = 0;
		if (!(in >> label >> w >> h) || w <= 0 || h <= 0)
			continue;
		std::ifstream f(dir + "/" + label + ".rle", std::ios::binary);
		std::string runs((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
		std::string bgra;
		for (size_t i = 0; i + 8 <= runs.size() && bgra.size() <= size_t(w) * h * 4; i += 8) {
			uint32_t count = 0;
			for (int b = 3; b >= 0; b--)
				count = count << 8 | uint8_t(runs[i + size_t(b)]);
			for (uint32_t k = 0; k < count && bgra.size() <= size_t(w) * h * 4; k++)
				bgra.append(runs, i + 4, 4);
		}
		if (bgra.size() != size_t(w) * h * 4) {
			verdict(label, "short frame file");
			continue;
		}
		save_png(bgra, w, h, out + "/fwupdate-" + label + ".png");
		const Frame shown = Frame::from_bgra(reinterpret_cast<const uint8_t *>(bgra.data()), w, h, size_t(w) * 4);
		int length = -1;
		if (label == "final") {
			final = true;
			verdict(label, screenlayout::compare(screenlayout::message_frame(w, h, art, 0xffffff,
											 "Update finished! Reboot system!"),
							     shown));
		} else if (label == "verifying") {
			verifying = true;
			verdict(label, progress_view(shown, art, 0.0, 0.25, &length));
		} else if (label.rfind("updating", 0) == 0) {
			updating = true;
			const std::string why = progress_view(shown, art, 0.25, 1.0, &length);
			verdict(label, why);
			if (why.empty() && length > quarter && length < art.bar_empty.width)
				part_filled = true;
		}
	}
	if (!verifying)
		verdict("verifying", "no frame caught while the image was checked");
	if (!updating)
		verdict("updating", "no frame caught while the images were written");
	if (!final)
		verdict("final", "no frame after the end");
	verdict("part-filled", part_filled ? "" : "no frame of the update shows the bar between a quarter and full");
	return failures ? 1 : 0;
}
