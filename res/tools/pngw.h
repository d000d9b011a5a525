// Minimal PNG writer over libpng for the resource generator and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct png_out {
	uint32_t width = 0;
	uint32_t height = 0;
	int color_type = 0; // PNG_COLOR_TYPE_*
	int bit_depth = 8;
	bool interlaced = false;
	std::vector<uint8_t> rows;              // packed rows, height * row bytes
	std::vector<uint8_t> palette;           // r, g, b triples
	std::vector<uint8_t> trns;              // palette alpha values
	std::vector<std::pair<std::string, std::string>> text;
};

// Bytes of one packed row for the format.
size_t png_out_row_bytes(const png_out &img);
// Writes the image; false on failure.
bool png_write_file(const std::string &path, const png_out &img);
