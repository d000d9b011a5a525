// Bounded text copies for the engine's fixed-size text fields.
#pragma once

#include <cstddef>

// Copies src into dst[size] and always terminates it. Returns 0 when src fit
// (size - 1 characters at most), -22 when it did not; dst then holds the
// first size - 1 characters. A null src counts as empty.
int crv_text_copy(char *dst, std::size_t size, const char *src);

template <std::size_t N>
inline int crv_text_copy(char (&dst)[N], const char *src)
{
	return crv_text_copy(dst, N, src);
}
