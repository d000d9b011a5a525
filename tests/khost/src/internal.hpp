// Shared state of the host kernel library.
#pragma once

#include "khost/khost.hpp"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace khost::detail {

// One lock and one condition for every sleep: wake-ups notify all sleepers,
// which then re-check what they wait for (as the kernel's wait loops do).
// Never destroyed: threads of the bed may still wait on them at exit.
extern std::mutex &g_lock;
extern std::condition_variable &g_cv;

struct Ctx {
	struct task_struct *task = nullptr;
	bool own_task = false;	/* made for a host thread: goes when it ends */
	~Ctx();
	int spin_held = 0;
	int irq_off = 0;
	int hardirq = 0;
	int softirq = 0;
	int preempt_off = 0;
	bool irq_was_enabled_stack[64] = {};
};
Ctx &ctx();
void free_host_task(struct task_struct *t);	/* a host thread's task, at its end */
bool atomic_ctx();

void fault(const std::string &what);
void track(const char *kind, const void *key, const std::string &desc);
bool untrack(const char *kind, const void *key);
bool tracked(const char *kind, const void *key);

long long now_ns();	// host monotonic clock
long long kernel_ns();	// scaled kernel clock
long long kernel_ns_to_host_deadline(long long kernel_delta_ns);
unsigned scale();

// The access oracle's entry points (oracle.cpp): a register write (any; the
// oracle picks the start writes) and a raised interrupt, both with no bed
// lock held.
void oracle_start_write(uint64_t reg, uint64_t value);
void oracle_irq(unsigned irq);
// Where the run of memory handed out by phys_alloc that holds `at` ends;
// `at` itself when nothing handed out holds it.
uint64_t arena_allocated_end(uint64_t at);
// Memory given back (pages, coherent buffers): free for the arena to hand
// out again (with a gap) and, for the oracle, no one's to reach any more.
void phys_freed(phys_addr_t at, size_t size);
void oracle_freed(uint64_t addr, uint64_t size);
// Physical memory below 4 GiB (the arena GFP_DMA32 pages come from), as
// phys_alloc hands out above; 0 when it is used up.
phys_addr_t low_alloc(size_t size);

} // namespace khost::detail

// Whether phys lies in RAM kept out of the linear map (khost::add_nomap_ram).
extern "C" bool khost_in_nomap(phys_addr_t phys);
// Whether p lies inside a live kmalloc allocation (the kernel's linear map).
extern "C" bool khost_in_kmalloc(const void *p);
