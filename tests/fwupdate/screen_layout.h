// What the progress screen should show, for tests that read frames back
// from a framebuffer (the simulated OSD plane here, a real device elsewhere).
// Where each piece goes is worked out from the screen's layout rules and the
// sizes of the art; the expected frames are composed from the art itself,
// never by the drawing layer under test.
//
// The progress view as fwupdate shows it: no locale (no caption), no step
// row, the percentage beside the bar, the log hidden.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace screenlayout {

// An image of the art as red, green, blue bytes, or a font as one byte of
// coverage per pixel.
struct Image {
	int width = 0;
	int height = 0;
	int channels = 3;
	std::vector<uint8_t> pixels;
	const uint8_t *at(int x, int y) const { return pixels.data() + (size_t(y) * width + x) * channels; }
};

struct Art {
	std::vector<Image> icon_frames; // the installing animation
	Image bar_empty;
	Image bar_fill;
	Image font; // 96 glyphs side by side; regular row above the bold one
	int glyph_width = 0;
	int glyph_height = 0;
};

// Loads the screen's images from a folder of them; "" on success, else what
// is missing.
std::string load_art(const std::string &dir, Art &art);

struct Rect {
	int x = 0, y = 0, w = 0, h = 0;
};

// The fixed row of the bar's top edge.
inline constexpr int kBarTop = 270;

struct Layout {
	Rect icon; // the installing icon, centred
	Rect bar;  // the bar, moved left by half the room for the percentage
	int text_x = 0, text_y = 0; // the percentage, right of the bar
};
Layout progress_layout(int width, int height, const Art &art);

// Filled pixels of a bar `bar_width` long at p (0..1) of the whole update,
// and the percentage drawn beside it.
int bar_length(double p, int bar_width);
std::string percent_text(double p);

// A frame as blue, green, red bytes (the order of the framebuffer's pixels).
struct Frame {
	int width = 0;
	int height = 0;
	std::vector<uint8_t> bgr;

	Frame() = default;
	Frame(int w, int h) : width(w), height(h), bgr(size_t(w) * h * 3, 0) {}
	// From 4-byte pixels (blue, green, red, alpha); the alpha byte is not
	// looked at.
	static Frame from_bgra(const uint8_t *pixels, int w, int h, size_t row_bytes);
	const uint8_t *at(int x, int y) const { return bgr.data() + (size_t(y) * width + x) * 3; }
	uint8_t *at(int x, int y) { return bgr.data() + (size_t(y) * width + x) * 3; }
	// Places columns sx..sx+w-1 of an image at (x, y); what falls off the
	// frame is left out.
	void put(const Image &img, int sx, int w, int x, int y);
	// Text in the font, over black, in colour 0xRRGGBB.
	void text(const Art &art, int x, int y, const std::string &s, bool bold, uint32_t rgb);
};

// The progress view showing animation frame `icon_frame` and the bar at p.
Frame progress_frame(int width, int height, const Art &art, size_t icon_frame, double p);
// A full-screen message: bold text centred a glyph height above the middle.
Frame message_frame(int width, int height, const Art &art, uint32_t rgb, const std::string &text);

// "" when the frames are equal, else how many pixels differ and the first.
std::string compare(const Frame &expected, const Frame &actual);
// Which frame of the installing animation the icon's place shows (-1: none).
int shown_icon_frame(const Frame &frame, const Art &art);
// The filled length of the bar as the frame shows it (-1: no bar there).
int shown_bar_length(const Frame &frame, const Art &art);

} // namespace screenlayout
