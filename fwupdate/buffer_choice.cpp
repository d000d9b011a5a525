#include <cstdio>

#include "storage_buffers.h"

void print_size_text(const char *prefix, uint64_t count)
{
	double value = static_cast<double>(count);
	int unit = 0;
	while (value >= 1024 && unit < 3) {
		value /= 1024;
		unit++;
	}
	printf("%s%.2f%c\n", prefix, value, "BKMG"[unit]);
}

uint64_t usable_space(uint64_t free_bytes)
{
	return free_bytes > BUFFER_RESERVE ? free_bytes - BUFFER_RESERVE : 0;
}

buffer_choice choose_buffer(uint64_t length, uint64_t primary_free, uint64_t secondary_free)
{
	if (length < usable_space(primary_free))
		return buffer_choice::primary;
	if (length < usable_space(secondary_free))
		return buffer_choice::secondary;
	return buffer_choice::none;
}
