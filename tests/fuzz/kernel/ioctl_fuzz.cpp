// Inputs run as an ordinary process (no capabilities) with the access
// oracle on and fatal: any range a started engine or a shown plane would
// reach outside what the scene declared is a finding, as a crash is.
// The module stays loaded from input to input. After each one the device is
// closed, every descriptor the input received is closed and the engine
// model has gone quiet; then no fault may have been seen and no lock may be
// held. What the module holds (the leftovers a test's TearDown would list
// after unloading) may grow as state taken on first use and as what it keeps
// per plane or caller up to a bound; an input after which it grows again on
// each of kRunsAgain more runs leaks. User memory is
// confined to the argument buffer, so a pointer an input makes up faults as
// it would in a kernel.
#include "ioctl_fuzz.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>

extern "C" int gx_export(u64 dev_addr, unsigned int segs, size_t len);

namespace khost {
int locks_held_count();
}

namespace {

constexpr size_t kUserSize = 64 * 1024;
constexpr int kMaxCalls = 16;
// More runs of an input that left the module holding more: what it keeps
// for a plane or a caller grows up to its bound (a plane's shown import and
// the two waiting), a leak on every run.
constexpr int kRunsAgain = 3;

uint8_t *user;
size_t user_dirty;
int next_fd;
size_t held;	// what the module holds, counted in leftovers

struct IrqModel {
	std::mutex m;
	std::condition_variable cv;
	std::deque<unsigned> pending;
	int busy = 0;
} *irqs = new IrqModel;

void irq_thread()
{
	std::unique_lock<std::mutex> g(irqs->m);
	for (;;) {
		irqs->cv.wait(g, [] { return !irqs->pending.empty(); });
		unsigned irq = irqs->pending.front();
		irqs->pending.pop_front();
		irqs->busy++;
		g.unlock();
		khost::raise_irq(irq);
		g.lock();
		irqs->busy--;
		irqs->cv.notify_all();
	}
}

void wait_irqs_done()
{
	std::unique_lock<std::mutex> g(irqs->m);
	irqs->cv.wait(g, [] { return irqs->pending.empty() && irqs->busy == 0; });
}

[[noreturn]] void fail(const std::string &what)
{
	fprintf(stderr, "==kernel fuzz== %s\n", what.c_str());
	abort();
}

void check_faults()
{
	for (auto &f : khost::faults())
		fail("kernel fault: " + f);
	// Kernel threads of the module take locks of their own now and then:
	// only a lock that stays held was left behind.
	for (int i = 0; khost::locks_held_count() != 0; i++) {
		if (i == 1000)
			fail("a lock is still held");
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
}

// How many things the module holds, once what an operation still ending
// holds for a moment (a queued work item, an armed timer) has had time to
// go back to at most limit.
size_t settled(size_t limit)
{
	size_t n = khost::leaks().size();
	// What a plane keeps up to its bound never goes back: stop once the
	// count has stood still for a while.
	for (int i = 0, still = 0; n > limit && i < 1000 && still < 50; i++) {
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
		size_t m = khost::leaks().size();
		still = m == n ? still + 1 : 0;
		n = m;
	}
	return n;
}

// Descriptors are numbered upwards from 100: those an input received come
// after the last one seen before it (reserved ones never installed leave
// gaps). Closed, or, for the scene's own, only passed over.
void pass_fds(bool close)
{
	for (int fd = next_fd, misses = 0; misses < 64; fd++) {
		if (khost::fd_file(fd)) {
			if (close)
				khost::close_fd(fd);
			next_fd = fd + 1;
			misses = 0;
		} else {
			misses++;
		}
	}
}

uint32_t le(const uint8_t *p, int n)
{
	uint32_t v = 0;
	for (int i = n - 1; i >= 0; i--)
		v = v << 8 | p[i];
	return v;
}

void run(const uint8_t *data, size_t size)
{
	struct file *f = khost::open(kScene.nodes[data[0] % kScene.node_count]);
	if (!f)
		fail("device node missing");
	data++;
	size--;
	for (int call = 0; call < kMaxCalls && size >= 7; call++) {
		uint32_t cmd = le(data, 4);
		uint8_t how = data[4];
		size_t len = std::min<size_t>(le(data + 5, 2), size - 7);
		data += 7;
		size -= 7;
		memset(user, 0, user_dirty);
		memcpy(user, data, len);
		user_dirty = len;
		unsigned long arg = (unsigned long)user;
		if (how & kCallScalar) {
			uint64_t v = 0;
			memcpy(&v, data, std::min<size_t>(len, 8));
			arg = v;
		}
		if (how & kCallCompat)
			khost::compat_ioctl(f, cmd, arg);
		else
			khost::ioctl(f, cmd, arg);
		if (kScene.after_call)
			kScene.after_call();
		data += len;
		size -= len;
	}
	khost::close(f);
	wait_irqs_done();
	pass_fds(true);
	check_faults();
	khost::clear_log();
	khost::clear_journal();
	khost::oracle::clear();
}

} // namespace

void raise_irq_later(unsigned irq)
{
	std::lock_guard<std::mutex> g(irqs->m);
	irqs->pending.push_back(irq);
	irqs->cv.notify_all();
}

int keep_dmabuf(uint64_t dev_addr, size_t len)
{
	int fd = gx_export(dev_addr, 1, len);
	if (fd < 0)
		fail("no dma-buf for the scene");
	return fd;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	khost::set_log_echo(false);
	std::thread(irq_thread).detach();
	kScene.boot();
	khost::set_caps(0);
	khost::oracle::enable(true);
	khost::oracle::set_fatal(true);
	if (kScene.reach)
		kScene.reach();
	else
		khost::oracle::allow_allocated(true);
	user = static_cast<uint8_t *>(khost::user_alloc(kUserSize));
	khost::confine_user();
	if ((uintptr_t)user != kArgAddr)
		fprintf(stderr, "arguments at %p: pointers in the seeds lead nowhere\n", (void *)user);
	wait_irqs_done();
	for (auto &f : khost::faults())
		fail("fault while booting: " + f);
	next_fd = 100;
	pass_fds(false);
	held = khost::leaks().size();
	khost::clear_log();
	khost::clear_journal();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > kUserSize)
		return 0;
	run(data, size);
	size_t now = settled(held);
	for (int again = 1; now > held && again <= kRunsAgain; again++) {
		auto before = khost::leaks();
		held = now;
		run(data, size);
		now = settled(held);
		if (now > held && again == kRunsAgain) {
			std::multiset<std::string> had(before.begin(), before.end());
			for (auto &h : khost::leaks())
				if (!had.erase(h))
					fail("left behind on every run: " + h);
		}
	}
	held = now;
	return 0;
}
