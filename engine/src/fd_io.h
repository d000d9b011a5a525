// Whole-buffer reads and writes on a descriptor, retried after signals, and
// a whole-buffer write through a stream that reaches the device.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

// Reads exactly len bytes; false on an error or the end of the data.
inline bool crv_read_full(int fd, void *buf, size_t len)
{
	auto *p = static_cast<uint8_t *>(buf);
	while (len > 0) {
		ssize_t n = read(fd, p, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		p += n;
		len -= static_cast<size_t>(n);
	}
	return true;
}

// Writes all len bytes; false on an error or a write that moves nothing.
inline bool crv_write_full(int fd, const void *buf, size_t len)
{
	const auto *p = static_cast<const uint8_t *>(buf);
	while (len > 0) {
		ssize_t n = write(fd, p, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		p += n;
		len -= static_cast<size_t>(n);
	}
	return true;
}

// Writes all len bytes at the stream's position, flushes them to the device
// and closes the stream (in every case); false when any step failed.
inline bool crv_write_synced_and_close(FILE *fp, const void *buf, size_t len)
{
	bool ok = fwrite(buf, 1, len, fp) == len && fflush(fp) == 0 && fsync(fileno(fp)) == 0;
	return fclose(fp) == 0 && ok;
}
