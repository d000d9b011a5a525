#include "pngw.h"

#include <png.h>

#include <cstdio>

size_t png_out_row_bytes(const png_out &img)
{
	int channels = 1;
	switch (img.color_type) {
	case PNG_COLOR_TYPE_RGB: channels = 3; break;
	case PNG_COLOR_TYPE_RGB_ALPHA: channels = 4; break;
	case PNG_COLOR_TYPE_GRAY_ALPHA: channels = 2; break;
	default: channels = 1; break;
	}
	return (size_t(img.width) * channels * img.bit_depth + 7) / 8;
}

bool png_write_file(const std::string &path, const png_out &img)
{
	FILE *fp = fopen(path.c_str(), "wb");
	if (!fp)
		return false;
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	if (!png || !info || setjmp(png_jmpbuf(png))) {
		png_destroy_write_struct(&png, &info);
		fclose(fp);
		return false;
	}
	png_init_io(png, fp);
	png_set_IHDR(png, info, img.width, img.height, img.bit_depth, img.color_type,
		     img.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
		     PNG_FILTER_TYPE_DEFAULT);
	std::vector<png_color> pal;
	for (size_t i = 0; i + 2 < img.palette.size(); i += 3)
		pal.push_back({img.palette[i], img.palette[i + 1], img.palette[i + 2]});
	if (!pal.empty())
		png_set_PLTE(png, info, pal.data(), int(pal.size()));
	if (!img.trns.empty())
		png_set_tRNS(png, info, img.trns.data(), int(img.trns.size()), nullptr);
	std::vector<png_text> text(img.text.size());
	for (size_t i = 0; i < img.text.size(); ++i) {
		text[i] = {};
		text[i].compression = PNG_TEXT_COMPRESSION_NONE;
		text[i].key = const_cast<char *>(img.text[i].first.c_str());
		text[i].text = const_cast<char *>(img.text[i].second.c_str());
		text[i].text_length = img.text[i].second.size();
	}
	if (!text.empty())
		png_set_text(png, info, text.data(), int(text.size()));
	png_write_info(png, info);
	const size_t stride = png_out_row_bytes(img);
	std::vector<png_bytep> rows(img.height);
	for (uint32_t y = 0; y < img.height; ++y)
		rows[y] = const_cast<png_bytep>(img.rows.data() + y * stride);
	png_write_image(png, rows.data());
	png_write_end(png, nullptr);
	png_destroy_write_struct(&png, &info);
	return fclose(fp) == 0;
}
