// The boot-flag and dual-boot-flag records at the start of the misc device.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "fd_io.h"

namespace {

uint32_t g_dual_boot_len = CRV_DUAL_BOOT_REC_SIZE;

uint32_t as_flag(int v)
{
	return v != 0 ? 1 : 0;
}

// Writes len bytes at offset 0 of the misc device and reports success only
// once they were flushed to the device and the device was closed cleanly.
int write_misc_record(const char *func, const void *rec, std::size_t len)
{
	FILE *fp = fopen(crv_ostrel_context().misc_dev, "rb+e");
	if (fp == nullptr) {
		printf("%s open misc partition fail !\n", func);
		return -5;
	}
	int ret = fseeko(fp, 0, SEEK_SET);
	if (ret != 0) {
		printf("%s open seek fail !\n", func);
		fclose(fp);
		return ret;
	}
	if (!crv_write_synced_and_close(fp, rec, len)) {
		printf("%s write fail !\n", func);
		return -5;
	}
	return 0;
}

} // namespace

int crv_ostrel_set_dual_boot_rec_len(uint32_t len)
{
	if (len != CRV_DUAL_BOOT_REC_SIZE && len != CRV_MISC_REC_SIZE)
		return -22;
	g_dual_boot_len = len;
	return 0;
}

int crv_ostrel_write_boot_flag(int a, int b, int c)
{
	crv_boot_flag_rec rec;
	memset(&rec, 0, sizeof(rec));
	memcpy(rec.magic, "BTFG", 4);
	rec.flag1 = as_flag(a);
	rec.flag2 = as_flag(b);
	rec.flag3 = as_flag(c);
	return write_misc_record(__func__, &rec, sizeof(rec));
}

int crv_ostrel_write_dual_boot_flag(int a, int b, int c, int d, int e)
{
	unsigned char buf[CRV_MISC_REC_SIZE];
	memset(buf, 0, sizeof(buf));

	crv_dual_boot_flag_rec rec;
	memset(&rec, 0, sizeof(rec));
	memcpy(rec.magic, "DBFG", 4);
	rec.a = as_flag(a);
	rec.b = as_flag(b);
	rec.c = as_flag(c);
	rec.d = d <= 2 ? d : 0;
	rec.e = (e & ~0x80) <= 2 ? e : 0;
	memcpy(buf, &rec, sizeof(rec));
	return write_misc_record(__func__, buf, g_dual_boot_len);
}
