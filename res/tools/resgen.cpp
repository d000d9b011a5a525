// Draws the progress screen's images and fonts:
//   crv_resgen <image folder> <built-in font source>
// writes icon_installing, icon_error, progress_empty/fill, stage_empty/fill,
// font and the caption images into the folder, and the run-length coded
// built-in font into the source file.
#include "glyphs.h"
#include "pngw.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct rgb {
	double r, g, b;
};

rgb mix(rgb a, rgb b, double t)
{
	return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A full-colour canvas painted with antialiased shapes (4 x 4 samples).
struct canvas {
	int w, h;
	std::vector<rgb> px;
	canvas(int width, int height, rgb bg) : w(width), h(height), px(size_t(width) * height, bg) {}

	void paint(const std::function<bool(double, double)> &inside, rgb colour)
	{
		for (int y = 0; y < h; ++y)
			for (int x = 0; x < w; ++x) {
				int hits = 0;
				for (int sy = 0; sy < 4; ++sy)
					for (int sx = 0; sx < 4; ++sx)
						hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
				if (hits)
					px[size_t(y) * w + x] = mix(px[size_t(y) * w + x], colour, hits / 16.0);
			}
	}

	void append_rgb(std::vector<uint8_t> &out, int row) const
	{
		for (int x = 0; x < w; ++x) {
			const rgb &c = px[size_t(row) * w + x];
			out.push_back(uint8_t(std::lround(std::clamp(c.r, 0.0, 255.0))));
			out.push_back(uint8_t(std::lround(std::clamp(c.g, 0.0, 255.0))));
			out.push_back(uint8_t(std::lround(std::clamp(c.b, 0.0, 255.0))));
		}
	}
};

auto circle(double cx, double cy, double r)
{
	return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

auto box(double x0, double y0, double x1, double y1)
{
	return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

// A horizontal capsule (rectangle with round ends).
auto capsule(double x0, double y0, double x1, double y1)
{
	const double r = (y1 - y0) / 2;
	return [=](double x, double y) {
		if (y < y0 || y >= y1)
			return false;
		const double cx = std::clamp(x, x0 + r, x1 - r);
		const double cy = (y0 + y1) / 2;
		return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
	};
}

// Triangle pointing down with apex at (cx, y1).
auto arrow_head(double cx, double y0, double y1, double half)
{
	return [=](double x, double y) {
		if (y < y0 || y > y1)
			return false;
		const double t = (y1 - y) / (y1 - y0);
		return std::fabs(x - cx) <= half * t;
	};
}

const rgb kBlack = {0, 0, 0};
const rgb kWhite = {255, 255, 255};
const rgb kAccent = {0, 170, 240};
const rgb kDim = {55, 60, 70};

bool write_rgb(const std::string &path, const std::vector<const canvas *> &frames)
{
	png_out img;
	img.width = uint32_t(frames[0]->w);
	img.height = uint32_t(frames[0]->h * int(frames.size()));
	img.color_type = PNG_COLOR_TYPE_RGB;
	// Frames are stored row-interleaved: image row k*n + i is row k of frame i.
	for (int y = 0; y < frames[0]->h; ++y)
		for (const canvas *f : frames)
			f->append_rgb(img.rows, y);
	if (frames.size() > 1)
		img.text.push_back({"Frames", std::to_string(frames.size())});
	return png_write_file(path, img);
}

canvas installing_frame(int frame, int count)
{
	const int size = 160;
	const double c = size / 2.0;
	canvas cv(size, size, kBlack);
	// Ring of dots; the bright one walks round, with a fading tail.
	for (int i = 0; i < count; ++i) {
		const double a = 2 * M_PI * i / count - M_PI / 2;
		const int behind = (frame - i + count) % count;
		const double glow = behind < 4 ? 1.0 - behind * 0.25 : 0.0;
		cv.paint(circle(c + 68 * std::cos(a), c + 68 * std::sin(a), 7), mix(kDim, kAccent, glow));
	}
	// A disc with a downward arrow over a tray: something is being written.
	cv.paint(circle(c, c, 46), {20, 70, 120});
	cv.paint(box(c - 7, c - 30, c + 7, c + 4), kWhite);
	cv.paint(arrow_head(c, c - 2, c + 20, 20), kWhite);
	cv.paint(box(c - 24, c + 25, c + 24, c + 31), kWhite);
	return cv;
}

// The exclamation mark of the error icon: a round-ended bar and a dot.
void error_mark(canvas &cv)
{
	const double c = cv.w / 2.0;
	cv.paint([=](double x, double y) {
		const double r = 8;
		if (x < c - r || x >= c + r)
			return false;
		const double cy = std::clamp(y, c - 40 + r, c + 12 - r);
		return (x - c) * (x - c) + (y - cy) * (y - cy) <= r * r;
	}, kWhite);
	cv.paint(circle(c, c + 32, 9), kWhite);
}

canvas bar(bool full)
{
	const int w = 600, h = 24;
	canvas cv(w, h, kBlack);
	if (full) {
		cv.paint(capsule(0, 2, w, h - 2), kAccent);
		cv.paint(capsule(6, 5, w - 6, 9), {90, 210, 255}); // highlight
	} else {
		cv.paint(capsule(0, 2, w, h - 2), kDim);
		cv.paint(capsule(3, 5, w - 3, h - 5), {25, 28, 34});
	}
	return cv;
}

canvas stage(bool done)
{
	canvas cv(32, 24, kBlack);
	cv.paint(circle(16, 12, 8), done ? kAccent : kDim);
	return cv;
}

// Glyph cell of the font image: 12 x 20 pixels, the 5 x 8 grid doubled,
// one column each side and two rows above and below.
constexpr int kCellW = 12;
constexpr int kCellH = 20;

void draw_glyph(std::vector<uint8_t> &alpha, int stride, int x0, int y0, int index, bool bold)
{
	for (int row = 0; row < glyphs::kRows; ++row)
		for (int col = 0; col < glyphs::kColumns; ++col) {
			if (!glyphs::ink(index, col, row))
				continue;
			for (int dy = 0; dy < 2; ++dy)
				for (int dx = 0; dx < (bold ? 3 : 2); ++dx)
					alpha[size_t(y0 + 2 + 2 * row + dy) * stride + x0 + 1 + 2 * col + dx] = 255;
		}
}

bool write_font(const std::string &path)
{
	png_out img;
	img.width = kCellW * 96;
	img.height = kCellH * 2;
	img.color_type = PNG_COLOR_TYPE_GRAY;
	img.rows.assign(size_t(img.width) * img.height, 0);
	for (int i = 0; i < 96; ++i) {
		draw_glyph(img.rows, int(img.width), i * kCellW, 0, i, false);
		draw_glyph(img.rows, int(img.width), i * kCellW, kCellH, i, true);
	}
	return png_write_file(path, img);
}

// The built-in font: 10 x 18 cells, columns 2, 2, 1, 2, 2 pixels wide and a
// one-pixel gap; rows doubled under a two-pixel top margin.
bool write_builtin_font(const std::string &path)
{
	const int gw = 10, gh = 18, width = gw * 96;
	const int col_x[6] = {0, 2, 4, 5, 7, 9};
	std::vector<uint8_t> bits(size_t(width) * gh, 0);
	for (int i = 0; i < 96; ++i)
		for (int row = 0; row < glyphs::kRows; ++row)
			for (int col = 0; col < glyphs::kColumns; ++col)
				if (glyphs::ink(i, col, row))
					for (int y = 2 + 2 * row; y < 4 + 2 * row; ++y)
						for (int x = col_x[col]; x < col_x[col + 1]; ++x)
							bits[size_t(y) * width + i * gw + x] = 1;
	std::vector<uint8_t> runs;
	for (size_t pos = 0; pos < bits.size();) {
		const uint8_t v = bits[pos];
		size_t n = 1;
		while (n < 127 && pos + n < bits.size() && bits[pos + n] == v)
			++n;
		runs.push_back(uint8_t(n | (v ? 0x80 : 0)));
		pos += n;
	}
	runs.push_back(0);

	FILE *fp = fopen(path.c_str(), "w");
	if (!fp)
		return false;
	fprintf(fp, "// Generated by res/tools/resgen.cpp from res/tools/glyphs.h; do not edit.\n"
		    "// Run-length coded alpha map: each byte is a run of (byte & 0x7f) pixels,\n"
		    "// 255 when bit 7 is set, else 0; a zero byte ends the data.\n"
		    "static constexpr uint32_t kBuiltinFontWidth = %d;\n"
		    "static constexpr uint32_t kBuiltinFontHeight = %d;\n"
		    "static constexpr uint32_t kBuiltinFontGlyphWidth = %d;\n"
		    "static constexpr uint32_t kBuiltinFontGlyphHeight = %d;\n"
		    "static const uint8_t kBuiltinFontRuns[%zu] = {\n",
		width, gh, gw, gh, runs.size());
	for (size_t i = 0; i < runs.size(); ++i)
		fprintf(fp, "%s0x%02x,%s", i % 12 == 0 ? "\t" : "", runs[i], i % 12 == 11 || i + 1 == runs.size() ? "\n" : " ");
	fprintf(fp, "};\n");
	return fclose(fp) == 0;
}

// Caption image: one gray PNG with an entry per locale, the fallback last.
bool write_caption(const std::string &path, const std::vector<std::pair<std::string, std::string>> &entries)
{
	uint32_t width = 0;
	for (const auto &e : entries)
		width = std::max<uint32_t>({width, uint32_t(e.second.size() * kCellW), uint32_t(6 + e.first.size())});
	png_out img;
	img.width = width;
	img.color_type = PNG_COLOR_TYPE_GRAY;
	for (const auto &e : entries) {
		const uint32_t w = uint32_t(e.second.size() * kCellW), h = kCellH;
		std::vector<uint8_t> header(width, 0);
		header[0] = uint8_t(w);
		header[1] = uint8_t(w >> 8);
		header[2] = uint8_t(h);
		header[3] = uint8_t(h >> 8);
		std::copy(e.first.begin(), e.first.end(), header.begin() + 5);
		img.rows.insert(img.rows.end(), header.begin(), header.end());
		std::vector<uint8_t> text(size_t(width) * h, 0);
		for (size_t i = 0; i < e.second.size(); ++i)
			draw_glyph(text, int(width), int(i) * kCellW, 0, e.second[i] - 0x20, true);
		img.rows.insert(img.rows.end(), text.begin(), text.end());
		img.height += h + 1;
	}
	return png_write_file(path, img);
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: %s <image folder> <built-in font source>\n", argv[0]);
		return 2;
	}
	const std::string dir = argv[1];
	bool ok = true;

	const int frames = 12;
	std::vector<canvas> spin;
	for (int i = 0; i < frames; ++i)
		spin.push_back(installing_frame(i, frames));
	std::vector<const canvas *> spin_ptrs;
	for (const canvas &c : spin)
		spin_ptrs.push_back(&c);
	ok &= write_rgb(dir + "/icon_installing.png", spin_ptrs);

	canvas error(160, 160, kBlack);
	error.paint(circle(80, 80, 62), {215, 40, 40});
	error_mark(error);
	ok &= write_rgb(dir + "/icon_error.png", {&error});

	const canvas empty = bar(false), full = bar(true);
	ok &= write_rgb(dir + "/progress_empty.png", {&empty});
	ok &= write_rgb(dir + "/progress_fill.png", {&full});
	const canvas s0 = stage(false), s1 = stage(true);
	ok &= write_rgb(dir + "/stage_empty.png", {&s0});
	ok &= write_rgb(dir + "/stage_fill.png", {&s1});

	ok &= write_font(dir + "/font.png");
	ok &= write_caption(dir + "/installing_text.png",
			    {{"de", "Update wird installiert..."}, {"en", "Installing update..."}});
	ok &= write_caption(dir + "/erasing_text.png", {{"de", "Speicher wird bereinigt..."}, {"en", "Erasing..."}});
	ok &= write_caption(dir + "/no_command_text.png", {{"de", "Kein Befehl"}, {"en", "No command"}});
	ok &= write_caption(dir + "/error_text.png", {{"de", "Fehler!"}, {"en", "Error!"}});
	ok &= write_builtin_font(argv[2]);
	if (!ok) {
		fprintf(stderr, "resgen: writing failed\n");
		return 1;
	}
	return 0;
}
