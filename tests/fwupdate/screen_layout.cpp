#include "screen_layout.h"

#include "resources.h"

#include <algorithm>
#include <cstdio>

namespace screenlayout {

namespace {

Image image_of(const gr_surface *s)
{
	Image img;
	img.width = int(s->width);
	img.height = int(s->height);
	img.channels = s->pixel_bytes == 1 ? 1 : 3;
	for (uint32_t y = 0; y < s->height; ++y)
		for (uint32_t x = 0; x < s->width; ++x) {
			const uint8_t *p = s->data + size_t(y) * s->row_bytes + size_t(x) * s->pixel_bytes;
			img.pixels.insert(img.pixels.end(), p, p + img.channels);
		}
	return img;
}

// The bar with the room for six glyphs of percentage right of it.
Rect bar_band(const Layout &l, const Art &art)
{
	const int top = std::min(l.bar.y, l.text_y);
	const int bottom = std::max(l.bar.y + l.bar.h, l.text_y + art.glyph_height);
	return {l.bar.x, top, l.bar.w + 6 * art.glyph_width, bottom - top};
}

} // namespace

std::string load_art(const std::string &dir, Art &art)
{
	res_test_set_dir(dir.c_str());
	std::string missing;
	int count = 0;
	gr_surface **frames = nullptr;
	if (res_load_frames("icon_installing", &count, &frames) == 0) {
		for (int i = 0; i < count; ++i)
			art.icon_frames.push_back(image_of(frames[i]));
		res_free_frames(frames, count);
	} else {
		missing += " icon_installing";
	}
	struct {
		const char *name;
		Image *out;
		bool alpha_map;
	} const images[] = {
		{"progress_empty", &art.bar_empty, false},
		{"progress_fill", &art.bar_fill, false},
		{"font", &art.font, true},
	};
	for (const auto &i : images) {
		gr_surface *s = nullptr;
		if ((i.alpha_map ? res_load_alpha_map(i.name, &s) : res_load_image(i.name, &s)) == 0) {
			*i.out = image_of(s);
			res_free_surface(s);
		} else {
			missing += std::string(" ") + i.name;
		}
	}
	res_test_set_dir(nullptr);
	art.glyph_width = art.font.width / 96;
	art.glyph_height = art.font.height / 2;
	return missing.empty() ? "" : "missing art:" + missing;
}

Layout progress_layout(int width, int height, const Art &art)
{
	Layout l;
	const int iw = art.icon_frames.empty() ? 0 : art.icon_frames[0].width;
	const int ih = art.icon_frames.empty() ? 0 : art.icon_frames[0].height;
	// Divisions round towards zero, as C++'s do.
	l.icon = {(width - iw) / 2, (height - ih) / 2, iw, ih};
	const int w = art.bar_empty.width;
	const int h = art.bar_empty.height;
	l.bar = {(width - w - 6 * art.glyph_width) / 2, kBarTop, w, h};
	l.text_x = l.bar.x + w;
	l.text_y = kBarTop + (h - art.glyph_height) / 2;
	return l;
}

int bar_length(double p, int bar_width)
{
	return int(p * bar_width);
}

std::string percent_text(double p)
{
	return " " + std::to_string(int(p * 100)) + "%";
}

Frame Frame::from_bgra(const uint8_t *pixels, int w, int h, size_t row_bytes)
{
	Frame f(w, h);
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			const uint8_t *p = pixels + size_t(y) * row_bytes + size_t(x) * 4;
			uint8_t *q = f.at(x, y);
			q[0] = p[0];
			q[1] = p[1];
			q[2] = p[2];
		}
	return f;
}

void Frame::put(const Image &img, int sx, int w, int x, int y)
{
	for (int row = 0; row < img.height; ++row)
		for (int col = 0; col < w; ++col) {
			const int fx = x + col, fy = y + row;
			if (fx < 0 || fy < 0 || fx >= width || fy >= height)
				continue;
			const uint8_t *p = img.at(sx + col, row);
			uint8_t *q = at(fx, fy);
			q[0] = p[2];
			q[1] = p[1];
			q[2] = p[0];
		}
}

void Frame::text(const Art &art, int x, int y, const std::string &s, bool bold, uint32_t rgb)
{
	const int gw = art.glyph_width, gh = art.glyph_height;
	const unsigned colour[3] = {rgb & 0xff, (rgb >> 8) & 0xff, rgb >> 16}; // blue, green, red
	for (size_t i = 0; i < s.size(); ++i) {
		const int index = int(static_cast<unsigned char>(s[i])) - 32;
		if (index < 0 || index >= 96)
			continue; // no glyph: the place stays black
		for (int row = 0; row < gh; ++row)
			for (int col = 0; col < gw; ++col) {
				const int fx = x + int(i) * gw + col, fy = y + row;
				if (fx < 0 || fy < 0 || fx >= width || fy >= height)
					continue;
				// Coverage c of the colour over black: c / 255 of each part.
				const unsigned c = *art.font.at(index * gw + col, row + (bold ? gh : 0));
				uint8_t *q = at(fx, fy);
				for (int k = 0; k < 3; ++k)
					q[k] = uint8_t(colour[k] * c / 255);
			}
	}
}

Frame progress_frame(int width, int height, const Art &art, size_t icon_frame, double p)
{
	Frame f(width, height);
	const Layout l = progress_layout(width, height, art);
	f.put(art.icon_frames.at(icon_frame), 0, l.icon.w, l.icon.x, l.icon.y);
	// The bar and the room for the percentage lie over the icon where they
	// meet it (on small planes).
	const Rect band = bar_band(l, art);
	for (int y = std::max(band.y, 0); y < std::min(band.y + band.h, height); ++y)
		for (int x = std::max(band.x, 0); x < std::min(band.x + band.w, width); ++x)
			std::fill(f.at(x, y), f.at(x, y) + 3, 0);
	const int w = l.bar.w;
	const int pos = bar_length(p, w);
	f.put(art.bar_fill, 0, pos, l.bar.x, l.bar.y);
	// The empty part is laid from pos on, unless only the last column is
	// left (it then stays black).
	if (pos < w - 1)
		f.put(art.bar_empty, pos, w - pos, l.bar.x + pos, l.bar.y);
	f.text(art, l.text_x, l.text_y, percent_text(p), false, 0xffffff);
	return f;
}

Frame message_frame(int width, int height, const Art &art, uint32_t rgb, const std::string &text)
{
	Frame f(width, height);
	const int x = width / 2 - (art.glyph_width * int(text.size())) / 2;
	const int y = height / 2 - art.glyph_height;
	f.text(art, x, y, text, true, rgb);
	return f;
}

std::string compare(const Frame &expected, const Frame &actual)
{
	if (expected.width != actual.width || expected.height != actual.height)
		return "frame is " + std::to_string(actual.width) + "x" + std::to_string(actual.height) + ", not " +
		       std::to_string(expected.width) + "x" + std::to_string(expected.height);
	size_t wrong = 0;
	std::string first;
	for (int y = 0; y < expected.height; ++y)
		for (int x = 0; x < expected.width; ++x) {
			const uint8_t *e = expected.at(x, y), *a = actual.at(x, y);
			if (e[0] == a[0] && e[1] == a[1] && e[2] == a[2])
				continue;
			if (wrong++ == 0) {
				char buf[160];
				snprintf(buf, sizeof(buf), "first at (%d, %d): blue/green/red %u/%u/%u, expected %u/%u/%u", x,
					 y, a[0], a[1], a[2], e[0], e[1], e[2]);
				first = buf;
			}
		}
	return wrong ? std::to_string(wrong) + " pixels differ; " + first : "";
}

int shown_icon_frame(const Frame &frame, const Art &art)
{
	const Layout l = progress_layout(frame.width, frame.height, art);
	const Rect band = bar_band(l, art);
	auto visible = [&](int x, int y) {
		return x >= 0 && y >= 0 && x < frame.width && y < frame.height &&
		       !(y >= band.y && y < band.y + band.h && x >= band.x && x < band.x + band.w);
	};
	for (size_t i = 0; i < art.icon_frames.size(); ++i) {
		bool same = true;
		for (int y = 0; same && y < l.icon.h; ++y)
			for (int x = 0; same && x < l.icon.w; ++x) {
				if (!visible(l.icon.x + x, l.icon.y + y))
					continue;
				const uint8_t *p = art.icon_frames[i].at(x, y);
				const uint8_t *q = frame.at(l.icon.x + x, l.icon.y + y);
				same = q[0] == p[2] && q[1] == p[1] && q[2] == p[0];
			}
		if (same)
			return int(i);
	}
	return -1;
}

int shown_bar_length(const Frame &frame, const Art &art)
{
	const Layout l = progress_layout(frame.width, frame.height, art);
	const int y = l.bar.y + l.bar.h / 2;
	int length = -1;
	for (int col = 0; col < l.bar.w && y < frame.height; ++col) {
		const int x = l.bar.x + col;
		if (x < 0 || x >= frame.width)
			continue;
		const uint8_t *p = frame.at(x, y);
		auto is = [&](const Image &img) {
			const uint8_t *q = img.at(col, l.bar.h / 2);
			return p[0] == q[2] && p[1] == q[1] && p[2] == q[0];
		};
		if (is(art.bar_fill) && !is(art.bar_empty))
			length = col + 1;
		else if (is(art.bar_empty))
			return std::max(length, 0);
		else
			return length;
	}
	return length;
}

} // namespace screenlayout
