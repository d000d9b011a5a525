/* Host kernel: a kernel-virtual or I/O address behind a buffer mapping. */
#ifndef KHOST_LINUX_IOSYS_MAP_H
#define KHOST_LINUX_IOSYS_MAP_H
#include <khost/base.h>
struct iosys_map {
	union {
		void __iomem *vaddr_iomem;
		void *vaddr;
	};
	bool is_iomem;
};
static inline void iosys_map_set_vaddr(struct iosys_map *m, void *vaddr)
{
	m->vaddr = vaddr;
	m->is_iomem = false;
}
static inline void iosys_map_clear(struct iosys_map *m)
{
	m->vaddr = NULL;
	m->is_iomem = false;
}
static inline bool iosys_map_is_null(const struct iosys_map *m) { return !m->vaddr; }
#endif
