/* What the VM stage's test programs share (each is a program of its own). */
#ifndef VMLIB_H
#define VMLIB_H

#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

/* Prints "vm: PASS <name><tail>", or "vm: FAIL <name><tail>: <why>" with
 * why from fmt (none when fmt is NULL). */
static inline void vm_vresult(int ok, const char *name, const char *tail, const char *fmt, va_list ap)
{
	char why[256] = "";

	if (fmt)
		vsnprintf(why, sizeof(why), fmt, ap);
	if (ok)
		printf("vm: PASS %s%s\n", name, tail);
	else
		printf("vm: FAIL %s%s: %s\n", name, tail, why);
	fflush(stdout);
}

static inline void vm_result(int ok, const char *name, const char *tail, const char *fmt, ...)
{
	va_list ap;

	va_start(ap, fmt);
	vm_vresult(ok, name, tail, fmt, ap);
	va_end(ap);
}

/* len bytes of physical memory from phys (a page boundary) through
 * /dev/mem, shared and uncached; NULL when it cannot be mapped. */
static inline volatile uint32_t *vm_map_phys(uint64_t phys, size_t len)
{
	int fd = open("/dev/mem", O_RDWR | O_SYNC);
	void *p;

	if (fd < 0)
		return NULL;
	p = mmap(NULL, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, (off_t)phys);
	close(fd);
	return p == MAP_FAILED ? NULL : p;
}

#endif
