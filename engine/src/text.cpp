#include "crv_text.h"

#include <cstring>

int crv_text_copy(char *dst, std::size_t size, const char *src)
{
	if (size == 0)
		return -22;
	if (src == nullptr)
		src = "";
	std::size_t n = strnlen(src, size);
	if (n < size) {
		memcpy(dst, src, n + 1);
		return 0;
	}
	memcpy(dst, src, size - 1);
	dst[size - 1] = '\0';
	return -22;
}
