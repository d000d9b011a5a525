// Host kernel: physical arena, register windows, MMIO, user copies.
#include "internal.hpp"

#include <algorithm>

#include <cstring>
#include <map>
#include <set>
#include <sys/mman.h>

extern "C" {
#include "khost/mm.h"
#include "khost/dev.h"
}

using namespace khost::detail;

namespace {

// Physical memory handed out by phys_alloc and alloc_pages lives above 4 GiB;
// pages asked for below 4 GiB (GFP_DMA32, a 32-bit coherent mask) come from
// a smaller arena there.
struct Arena {
	phys_addr_t pa;
	size_t size;
	char *base = nullptr;
	size_t used = 0;
	// With a gap (set_alloc_gap): what is held, start -> bytes with its gap.
	std::map<phys_addr_t, size_t> held;

	bool holds(phys_addr_t a, size_t n = 1) const
	{
		return base && a >= pa && a - pa < used && n <= used - (a - pa);
	}
	bool holds_ptr(const char *p) const { return base && p >= base && p < base + used; }
};
Arena *make_arena(phys_addr_t pa, size_t size)
{
	auto *a = new Arena();
	a->pa = pa;
	a->size = size;
	void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
	a->base = p == MAP_FAILED ? nullptr : static_cast<char *>(p);
	return a;
}
Arena &arena()
{
	static Arena *a = make_arena(0x100000000ULL, 256u << 20);
	return *a;
}
Arena &low_arena()
{
	static Arena *a = make_arena(0x90000000ULL, 256u << 20);
	return *a;
}
// The arena holding [addr, addr + n), or null.
Arena *arena_of(phys_addr_t addr, size_t n = 1)
{
	for (Arena *a : {&arena(), &low_arena()})
		if (a->holds(addr, n))
			return a;
	return nullptr;
}

// RAM that belongs to nobody the tests load: valid memory for pfn_valid and
// the mapping calls, below 4 GiB so 32-bit address fields reach it.
constexpr phys_addr_t kForeignBase = 0xA0000000ULL;
char *foreign_base()
{
	static char *base = [] {
		void *p = mmap(nullptr, khost::kForeignRamSize, PROT_READ | PROT_WRITE,
			       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
		return p == MAP_FAILED ? nullptr : static_cast<char *>(p);
	}();
	return base;
}
bool in_foreign(phys_addr_t addr) { return addr >= kForeignBase && addr - kForeignBase < khost::kForeignRamSize; }
// Foreign RAM is system RAM: in the kernel's linear map.
bool in_foreign_ptr(const char *p)
{
	return foreign_base() && p >= foreign_base() && p < foreign_base() + khost::kForeignRamSize;
}

// RAM the kernel keeps out of its linear map (reserved no-map): known to the
// memory model, without a kernel address.
std::mutex nomap_lock;
std::vector<std::pair<phys_addr_t, size_t>> nomap_ranges;
bool in_nomap(phys_addr_t addr)
{
	std::lock_guard<std::mutex> g(nomap_lock);
	for (auto &[base, size] : nomap_ranges)
		if (addr >= base && addr - base < size)
			return true;
	return false;
}

struct RegWindow {
	phys_addr_t base;
	size_t size;
	std::vector<uint8_t> store;
};

struct RegState {
	std::mutex lock;
	std::map<phys_addr_t, RegWindow> windows;	// by base
	std::map<phys_addr_t, std::function<uint64_t(phys_addr_t, uint64_t)>> read_hooks;
	std::map<phys_addr_t, std::function<void(phys_addr_t, uint64_t, uint64_t &)>> write_hooks;
	std::vector<khost::RegAccess> journal;
	struct IoMap {
		const char *host;
		size_t size;
	};
	std::map<const void *, IoMap> mappings;	// cookie -> what ioremap returned
	std::vector<khost::Mapping> user_maps;		// remap_pfn_range journal
};
RegState &regs()
{
	static RegState *s = new RegState();
	return *s;
}

void unmapped_access(phys_addr_t phys)
{
	char b[96];
	snprintf(b, sizeof b, "register access at 0x%llx through an unmapped window", (unsigned long long)phys);
	fault(b);
}

RegWindow *window_of(phys_addr_t addr, size_t len)
{
	auto &w = regs().windows;
	auto it = w.upper_bound(addr);
	if (it == w.begin())
		return nullptr;
	--it;
	if (addr >= it->second.base && addr + len <= it->second.base + it->second.size)
		return &it->second;
	return nullptr;
}

// Whether a live ioremap mapping covers [p, p + len). Caller holds the lock.
bool io_mapped(const char *p, size_t len)
{
	for (auto &[c, m] : regs().mappings)
		if (p >= m.host && p + len <= m.host + m.size)
			return true;
	return false;
}

// The register window and offset behind a host MMIO address. An access
// through a mapping that was unmapped is a fault, as it would oops.
RegWindow *resolve(const volatile void *a, size_t len, phys_addr_t *phys)
{
	const char *p = (const char *)a;
	for (auto &[base, w] : regs().windows) {
		const char *s = (const char *)w.store.data();
		if (p >= s && p + len <= s + w.size) {
			if (!io_mapped(p, len))
				unmapped_access(w.base + (p - s));
			*phys = w.base + (p - s);
			return &w;
		}
	}
	return nullptr;
}

uint64_t mmio_read(const volatile void *a, unsigned size)
{
	RegState &rs = regs();
	std::unique_lock<std::mutex> lk(rs.lock);
	phys_addr_t phys;
	RegWindow *w = resolve(a, size, &phys);
	if (!w) {
		lk.unlock();
		/* Arena memory mapped with ioremap reads as plain memory. */
		uint64_t v = 0;
		memcpy(&v, (const void *)a, size);
		return v;
	}
	uint64_t stored = 0;
	memcpy(&stored, &w->store[phys - w->base], size);
	uint64_t v = stored;
	auto hook = rs.read_hooks.find(phys);
	if (hook != rs.read_hooks.end()) {
		auto fn = hook->second;
		lk.unlock();
		v = fn(phys, stored);
		lk.lock();
	}
	rs.journal.push_back({phys, size, v, false});
	return v;
}

void mmio_write(uint64_t v, volatile void *a, unsigned size)
{
	RegState &rs = regs();
	std::unique_lock<std::mutex> lk(rs.lock);
	phys_addr_t phys;
	RegWindow *w = resolve(a, size, &phys);
	if (!w) {
		lk.unlock();
		memcpy((void *)a, &v, size);
		return;
	}
	rs.journal.push_back({phys, size, v, true});
	/* The hardware latches its set-up when the start write lands: the
	 * oracle decodes the window then, before a hook (an engine model) acts
	 * on it; the start register itself still holds its previous value. */
	lk.unlock();
	oracle_start_write(phys, v);
	lk.lock();
	w = resolve(a, size, &phys);
	if (!w)
		return;
	uint64_t stored = v;
	auto hook = rs.write_hooks.find(phys);
	if (hook != rs.write_hooks.end()) {
		auto fn = hook->second;
		lk.unlock();
		fn(phys, v, stored);
		lk.lock();
		w = resolve(a, size, &phys);
		if (!w)
			return;
	}
	memcpy(&w->store[phys - w->base], &stored, size);
}

// User memory shares one address space with the kernel here, so user
// buffers come from a region of their own (see khost::user_alloc); only its
// pages handed out are mapped. Unconfined, other host addresses count as
// user memory too.
constexpr size_t kUserRegionSize = 256u << 20;
constexpr uintptr_t kUserRegionHint = 0x20000000;	// fixed where free: stable addresses run to run

struct UserFaults {
	std::mutex lock;
	int budget = -1;
	std::vector<std::pair<const char *, size_t>> poisoned;
	bool confined = false;
	char *region = nullptr;
	size_t region_used = 0;
	std::vector<bool> mapped;	// per page of the region
};
UserFaults &ufaults()
{
	static UserFaults *u = new UserFaults();
	return *u;
}

// The range the kernel's access_ok() accepts: below the 64-bit task size
// (48-bit virtual addresses), without wrapping.
constexpr unsigned long kTaskSizeMax = 1UL << 48;
bool range_ok(uintptr_t addr, size_t len)
{
	return len <= kTaskSizeMax && addr <= kTaskSizeMax - len;
}

// How many bytes from addr on, up to len, a user access reaches before it
// faults. ufaults().lock held.
size_t user_reach(UserFaults &u, const char *p, size_t len)
{
	uintptr_t a = (uintptr_t)p;
	size_t reach = len;
	if (u.region && a >= (uintptr_t)u.region && a < (uintptr_t)u.region + kUserRegionSize) {
		size_t off = a - (uintptr_t)u.region;
		size_t end = off;
		while (end < off + len && end < kUserRegionSize && u.mapped[end / PAGE_SIZE])
			end = (end / PAGE_SIZE + 1) * PAGE_SIZE;
		reach = std::min(len, end - off);
	} else if (u.confined || a < PAGE_SIZE) {
		return 0;
	}
	for (auto &[s, n] : u.poisoned)
		if (p < s + n && s < p + reach)
			reach = s > p ? size_t(s - p) : 0;
	return reach;
}

// Bytes a user copy of len bytes at addr can move: 0 when the copy fails
// as a whole (injected failure, or a range access_ok refuses), else the
// reachable part.
size_t user_copy_reach(const void *addr, size_t len)
{
	UserFaults &u = ufaults();
	std::lock_guard<std::mutex> g(u.lock);
	if (u.budget == 0)
		return 0;
	if (u.budget > 0)
		u.budget--;
	if (!range_ok((uintptr_t)addr, len))
		return 0;
	return user_reach(u, (const char *)addr, len);
}

std::map<phys_addr_t, struct page *> &page_structs()
{
	static auto *m = new std::map<phys_addr_t, struct page *>();
	return *m;
}

} // namespace

namespace khost {

static size_t alloc_gap;	// under regs().lock

static phys_addr_t arena_alloc(Arena &a, size_t size)
{
	std::lock_guard<std::mutex> g(regs().lock);
	size = (size + PAGE_SIZE - 1) & PAGE_MASK;
	if (!alloc_gap) {
		if (!a.base || a.used + size > a.size)
			return 0;
		a.used += size;
		return a.pa + a.used - size;
	}
	// First fit, each block followed by its gap.
	phys_addr_t at = a.pa;
	for (auto &[start, len] : a.held) {
		if (start - at >= size + alloc_gap)
			break;
		at = start + len;
	}
	if (!a.base || at + size + alloc_gap > a.pa + a.size)
		return 0;
	a.held[at] = size + alloc_gap;
	a.used = std::max<size_t>(a.used, at + size + alloc_gap - a.pa);
	return at;
}

void set_alloc_gap(size_t bytes)
{
	std::lock_guard<std::mutex> g(regs().lock);
	alloc_gap = (bytes + PAGE_SIZE - 1) & PAGE_MASK;
	for (Arena *a : {&arena(), &low_arena()})
		if (a->used && a->held.empty())
			a->held[a->pa] = a->used;	/* what was handed out before */
}

phys_addr_t phys_alloc(size_t size) { return arena_alloc(arena(), size); }

phys_addr_t foreign_ram() { return kForeignBase; }

} // namespace khost

void khost::detail::phys_freed(phys_addr_t at, size_t size)
{
	{
		std::lock_guard<std::mutex> g(regs().lock);
		for (Arena *a : {&arena(), &low_arena()})
			a->held.erase(at);
	}
	oracle_freed(at, size);
}
phys_addr_t khost::detail::low_alloc(size_t size) { return khost::arena_alloc(low_arena(), size); }

uint64_t khost::detail::arena_allocated_end(uint64_t at)
{
	std::lock_guard<std::mutex> g(regs().lock);
	if (Arena *a = arena_of(at))
		return a->pa + a->used;
	return at;
}

namespace khost {

std::vector<Mapping> mappings()
{
	std::lock_guard<std::mutex> g(regs().lock);
	return regs().user_maps;
}

void clear_mappings()
{
	std::lock_guard<std::mutex> g(regs().lock);
	regs().user_maps.clear();
}

void *phys_ptr(phys_addr_t addr)
{
	if (Arena *a = arena_of(addr))
		return a->base + (addr - a->pa);
	if (in_foreign(addr) && foreign_base())
		return foreign_base() + (addr - kForeignBase);
	std::lock_guard<std::mutex> g(regs().lock);
	if (RegWindow *w = window_of(addr, 1))
		return &w->store[addr - w->base];
	return nullptr;
}

void *user_alloc(size_t size)
{
	UserFaults &u = ufaults();
	std::lock_guard<std::mutex> g(u.lock);
	if (!u.region) {
		void *p = ::mmap((void *)kUserRegionHint, kUserRegionSize, PROT_NONE,
				 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
		if (p == MAP_FAILED)
			p = ::mmap(nullptr, kUserRegionSize, PROT_NONE,
				   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_32BIT, -1, 0);
		if (p == MAP_FAILED)
			return nullptr;
		u.region = (char *)p;
		u.mapped.assign(kUserRegionSize / PAGE_SIZE, false);
	}
	size_t pages = (size ? size + PAGE_SIZE - 1 : 1) / PAGE_SIZE;
	if (u.region_used + (pages + 1) * PAGE_SIZE > kUserRegionSize)
		return nullptr;
	char *start = u.region + u.region_used;
	if (mprotect(start, pages * PAGE_SIZE, PROT_READ | PROT_WRITE) != 0)
		return nullptr;
	for (size_t i = 0; i < pages; i++)
		u.mapped[u.region_used / PAGE_SIZE + i] = true;
	u.region_used += (pages + 1) * PAGE_SIZE;	/* and the unmapped page after */
	/* The buffer ends where its pages end (16-byte aligned), so a copy
	 * past its end faults. */
	return (void *)((uintptr_t)(start + pages * PAGE_SIZE - size) & ~(uintptr_t)15);
}

void *compat_alloc(size_t size) { return user_alloc(size); }

void add_nomap_ram(phys_addr_t base, size_t size)
{
	std::lock_guard<std::mutex> g(nomap_lock);
	nomap_ranges.emplace_back(base, size);
}

void confine_user()
{
	std::lock_guard<std::mutex> g(ufaults().lock);
	ufaults().confined = true;
}

void fail_user_copy_after(int successes)
{
	std::lock_guard<std::mutex> g(ufaults().lock);
	ufaults().budget = successes;
}

void poison_user(const void *addr, size_t len)
{
	std::lock_guard<std::mutex> g(ufaults().lock);
	ufaults().poisoned.push_back({(const char *)addr, len});
}

void add_regs(phys_addr_t base, size_t size)
{
	std::lock_guard<std::mutex> g(regs().lock);
	regs().windows[base] = RegWindow{base, size, std::vector<uint8_t>(size)};
}

uint32_t reg(phys_addr_t addr)
{
	std::lock_guard<std::mutex> g(regs().lock);
	RegWindow *w = window_of(addr, 4);
	if (!w)
		return 0;
	uint32_t v;
	memcpy(&v, &w->store[addr - w->base], 4);
	return v;
}

void set_reg(phys_addr_t addr, uint32_t value)
{
	std::lock_guard<std::mutex> g(regs().lock);
	if (RegWindow *w = window_of(addr, 4))
		memcpy(&w->store[addr - w->base], &value, 4);
}

void on_read(phys_addr_t addr, std::function<uint64_t(phys_addr_t, uint64_t)> fn)
{
	std::lock_guard<std::mutex> g(regs().lock);
	regs().read_hooks[addr] = std::move(fn);
}

void on_write(phys_addr_t addr, std::function<void(phys_addr_t, uint64_t, uint64_t &)> fn)
{
	std::lock_guard<std::mutex> g(regs().lock);
	regs().write_hooks[addr] = std::move(fn);
}

std::vector<RegAccess> journal(bool with_reads)
{
	std::lock_guard<std::mutex> g(regs().lock);
	std::vector<RegAccess> out;
	for (auto &a : regs().journal)
		if (a.write || with_reads)
			out.push_back(a);
	return out;
}

void clear_journal()
{
	std::lock_guard<std::mutex> g(regs().lock);
	regs().journal.clear();
}

} // namespace khost

extern "C" {

/* ---- MMIO ---- */

void __iomem *ioremap(phys_addr_t phys, size_t size)
{
	void *p = nullptr;
	{
		std::lock_guard<std::mutex> g(regs().lock);
		if (RegWindow *w = window_of(phys, size ? size : 1))
			p = &w->store[phys - w->base];
	}
	if (!p) {
		if (Arena *a = arena_of(phys, size ? size : 1))
			p = a->base + (phys - a->pa);
		else if (in_foreign(phys) && in_foreign(phys + (size ? size - 1 : 0)))
			p = khost::phys_ptr(phys);
	}
	if (!p) {
		printk(KERN_ERR "ioremap: nothing at 0x%llx (+0x%zx)\n", (unsigned long long)phys, size);
		return nullptr;
	}
	/* The same window may be mapped more than once: each mapping gets a
	 * cookie of its own so every one must be unmapped. */
	auto *cookie = new char;
	{
		std::lock_guard<std::mutex> g(regs().lock);
		regs().mappings[cookie] = {static_cast<const char *>(p), size ? size : 1};
	}
	track("ioremap", cookie, "ioremap of 0x" + std::to_string(phys) + " not unmapped");
	return p;
}

void __iomem *ioremap_wc(phys_addr_t phys, size_t size) { return ioremap(phys, size); }

void iounmap(volatile void __iomem *addr)
{
	if (!addr)
		return;
	const void *cookie = nullptr;
	{
		std::lock_guard<std::mutex> g(regs().lock);
		for (auto &[c, m] : regs().mappings)
			if (m.host == (const void *)addr) {
				cookie = c;
				break;
			}
		if (cookie)
			regs().mappings.erase(cookie);
	}
	if (!cookie) {
		fault("iounmap of an address not from ioremap");
		return;
	}
	untrack("ioremap", cookie);
	delete (const char *)cookie;
}

void *memremap(resource_size_t offset, size_t size, unsigned long flags)
{
	(void)flags;
	return (void *)ioremap(offset, size);
}

void memunmap(void *addr) { iounmap(addr); }

u8 khost_mmio_read8(const volatile void __iomem *a) { return (u8)mmio_read(a, 1); }
u16 khost_mmio_read16(const volatile void __iomem *a) { return (u16)mmio_read(a, 2); }
u32 khost_mmio_read32(const volatile void __iomem *a) { return (u32)mmio_read(a, 4); }
u64 khost_mmio_read64(const volatile void __iomem *a) { return mmio_read(a, 8); }
void khost_mmio_write8(u8 v, volatile void __iomem *a) { mmio_write(v, a, 1); }
void khost_mmio_write16(u16 v, volatile void __iomem *a) { mmio_write(v, a, 2); }
void khost_mmio_write32(u32 v, volatile void __iomem *a) { mmio_write(v, a, 4); }
void khost_mmio_write64(u64 v, volatile void __iomem *a) { mmio_write(v, a, 8); }

void memcpy_fromio(void *dst, const volatile void __iomem *src, size_t n)
{
	for (size_t i = 0; i < n; i++)
		((u8 *)dst)[i] = khost_mmio_read8((const volatile char *)src + i);
}

void memcpy_toio(volatile void __iomem *dst, const void *src, size_t n)
{
	for (size_t i = 0; i < n; i++)
		khost_mmio_write8(((const u8 *)src)[i], (volatile char *)dst + i);
}

// One fill of a window without write hooks in the range is one journal
// record (size = bytes filled); otherwise byte by byte through the hooks.
void memset_io(volatile void __iomem *dst, int c, size_t n)
{
	RegState &rs = regs();
	std::unique_lock<std::mutex> lk(rs.lock);
	phys_addr_t phys = 0;
	RegWindow *w = n ? resolve(dst, n, &phys) : nullptr;
	if (w && rs.write_hooks.lower_bound(phys) == rs.write_hooks.lower_bound(phys + n)) {
		memset(&w->store[phys - w->base], c, n);
		rs.journal.push_back({phys, (unsigned)std::min<size_t>(n, UINT_MAX), (u8)c, true});
		return;
	}
	lk.unlock();
	for (size_t i = 0; i < n; i++)
		khost_mmio_write8((u8)c, (volatile char *)dst + i);
}

/* ---- physical memory and pages ---- */

phys_addr_t virt_to_phys(const volatile void *addr)
{
	const char *p = (const char *)addr;
	for (Arena *a : {&arena(), &low_arena()})
		if (a->holds_ptr(p))
			return a->pa + (p - a->base);
	if (in_foreign_ptr(p))
		return kForeignBase + (p - foreign_base());
	fault("virt_to_phys of memory outside the physical arena");
	return 0;
}

void *phys_to_virt(phys_addr_t phys) { return khost::phys_ptr(phys); }

int khost_virt_addr_valid(const volatile void *addr)
{
	const char *p = (const char *)addr;
	return arena().holds_ptr(p) || low_arena().holds_ptr(p) || in_foreign_ptr(p) ||
	       khost_in_kmalloc(p);
}

int pfn_valid(unsigned long pfn)
{
	phys_addr_t p = (phys_addr_t)pfn << PAGE_SHIFT;
	return arena_of(p) || in_foreign(p) || in_nomap(p);
}

bool khost_in_nomap(phys_addr_t phys) { return in_nomap(phys); }

struct page *pfn_to_page(unsigned long pfn)
{
	phys_addr_t p = (phys_addr_t)pfn << PAGE_SHIFT;
	std::lock_guard<std::mutex> g(regs().lock);
	auto &m = page_structs();
	auto it = m.find(p);
	if (it != m.end())
		return it->second;
	auto *pg = new page();
	pg->phys = p;
	m[p] = pg;
	return pg;
}

struct page *virt_to_page(const void *addr) { return pfn_to_page(virt_to_phys(addr) >> PAGE_SHIFT); }
void *page_address(const struct page *p) { return khost::phys_ptr(p->phys); }

// An allocation that may not sleep draws on the small reserve the kernel
// keeps for interrupts: pages held that way at once are bounded.
namespace {
constexpr size_t kAtomicReservePages = 256;	// 1 MiB
std::mutex atomic_lock;
std::map<const struct page *, size_t> atomic_pages;
size_t atomic_held;
} // namespace

struct page *alloc_pages(gfp_t gfp, unsigned int order)
{
	bool atomic = gfp & (GFP_ATOMIC | GFP_NOWAIT);
	size_t n = size_t(1) << order;

	if (!atomic)
		khost_might_sleep("alloc_pages");
	if (atomic) {
		std::lock_guard<std::mutex> g(atomic_lock);
		if (atomic_held + n > kAtomicReservePages)
			return nullptr;
		atomic_held += n;
	}
	phys_addr_t p = khost::arena_alloc(gfp & GFP_DMA32 ? low_arena() : arena(), PAGE_SIZE << order);
	if (!p)
		return nullptr;
	memset(khost::phys_ptr(p), 0, PAGE_SIZE << order);
	struct page *pg = pfn_to_page(p >> PAGE_SHIFT);
	track("pages", pg, "pages at 0x" + std::to_string(p) + " not freed");
	if (atomic) {
		std::lock_guard<std::mutex> g(atomic_lock);
		atomic_pages[pg] = n;
	}
	return pg;
}

void __free_pages(struct page *p, unsigned int order)
{
	if (!p)
		return;
	if (!untrack("pages", p)) {
		fault("__free_pages of pages not allocated");
		return;
	}
	phys_freed(page_to_phys(p), PAGE_SIZE << order);
	std::lock_guard<std::mutex> g(atomic_lock);
	auto it = atomic_pages.find(p);
	if (it != atomic_pages.end()) {
		atomic_held -= it->second;
		atomic_pages.erase(it);
	}
}

unsigned long __get_free_pages(gfp_t gfp, unsigned int order)
{
	struct page *p = alloc_pages(gfp, order);
	return p ? (unsigned long)page_address(p) : 0;
}

unsigned long get_zeroed_page(gfp_t gfp) { return __get_free_pages(gfp, 0); }

void free_pages(unsigned long addr, unsigned int order)
{
	if (addr)
		__free_pages(virt_to_page((void *)addr), order);
}

void get_page(struct page *p) { (void)p; }
void put_page(struct page *p) { (void)p; }
void *kmap(struct page *p) { return page_address(p); }
void kunmap(struct page *p) { (void)p; }

/* ---- user memory ---- */

int access_ok(const void __user *addr, unsigned long size)
{
	return range_ok((uintptr_t)addr, size);
}

unsigned long copy_from_user(void *to, const void __user *from, unsigned long n)
{
	khost_might_sleep("copy_from_user");
	if (!n)
		return 0;
	size_t done = user_copy_reach((const void *)from, n);
	if (done)
		memcpy(to, (const void *)from, done);
	memset((char *)to + done, 0, n - done);	/* the kernel zero-fills what it could not copy */
	return n - done;
}

unsigned long copy_to_user(void __user *to, const void *from, unsigned long n)
{
	khost_might_sleep("copy_to_user");
	if (!n)
		return 0;
	size_t done = user_copy_reach((const void *)to, n);
	if (done)
		memcpy((void *)to, from, done);
	return n - done;
}

unsigned long clear_user(void __user *to, unsigned long n)
{
	if (!n)
		return 0;
	size_t done = user_copy_reach((const void *)to, n);
	if (done)
		memset((void *)to, 0, done);
	return n - done;
}

long strncpy_from_user(char *dst, const char __user *src, long count)
{
	khost_might_sleep("strncpy_from_user");
	if (count <= 0)
		return 0;
	if ((uintptr_t)src >= kTaskSizeMax)
		return -EFAULT;
	size_t max = std::min<size_t>(count, kTaskSizeMax - (uintptr_t)src);
	size_t reach = user_copy_reach((const void *)src, max);
	for (size_t i = 0; i < reach; i++) {
		dst[i] = ((const char *)src)[i];
		if (!dst[i])
			return (long)i;
	}
	return reach == (size_t)count ? count : -EFAULT;
}

void *memdup_user(const void __user *src, size_t len)
{
	void *p = kmalloc(len, GFP_KERNEL);
	if (!p)
		return ERR_PTR(-ENOMEM);
	if (copy_from_user(p, src, len)) {
		kfree(p);
		return ERR_PTR(-EFAULT);
	}
	return p;
}

char *strndup_user(const char __user *s, long n)
{
	char *p = (char *)kmalloc(n, GFP_KERNEL);
	if (!p)
		return (char *)ERR_PTR(-ENOMEM);
	long r = strncpy_from_user(p, s, n);
	if (r < 0 || r == n) {
		kfree(p);
		return (char *)ERR_PTR(r < 0 ? -EFAULT : -EINVAL);
	}
	return p;
}

/* ---- mappings into user space ---- */

int remap_pfn_range(struct vm_area_struct *vma, unsigned long addr, unsigned long pfn,
		    unsigned long size, pgprot_t prot)
{
	/* The kernel maps whatever frame it is given: RAM, registers or a
	 * hole. Frames with nothing behind them here get zeroed stand-in
	 * memory, so a driver that hands them out is seen doing it. */
	phys_addr_t phys = (phys_addr_t)pfn << PAGE_SHIFT;
	if (addr < vma->vm_start || addr + size > vma->vm_end || addr + size < addr)
		return -EINVAL;
	void *host = khost::phys_ptr(phys);
	if (!host || !khost::phys_ptr(phys + size - 1)) {
		void *p = ::mmap(nullptr, size ? size : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
		host = p == MAP_FAILED ? nullptr : p;	/* released with the process */
	}
	{
		std::lock_guard<std::mutex> g(regs().lock);
		regs().user_maps.push_back({phys, size, pgprot_val(prot), vma->vm_flags});
	}
	vma->vm_flags |= VM_IO | VM_PFNMAP | VM_DONTEXPAND | VM_DONTDUMP;
	if (addr == vma->vm_start)
		vma->khost_mapped = host;
	return 0;
}

int io_remap_pfn_range(struct vm_area_struct *vma, unsigned long addr, unsigned long pfn,
		       unsigned long size, pgprot_t prot)
{
	return remap_pfn_range(vma, addr, pfn, size, prot);
}

int vm_insert_page(struct vm_area_struct *vma, unsigned long addr, struct page *page)
{
	if (addr == vma->vm_start)
		vma->khost_mapped = page_address(page);
	return 0;
}

} // extern "C"
