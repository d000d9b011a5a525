// Host kernel: the access oracle (see khost/oracle.hpp).
#include "internal.hpp"
#include "khost/oracle.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

using namespace khost::detail;

namespace {

struct Watch {
	std::string engine;
	uint64_t reg;		// start register, or
	uint64_t mask;
	int irq;		// the interrupt, -1 for a start register
	khost::oracle::Decoder decode;
};

struct Allowed {
	uint64_t addr, size;
	std::string what;
};

struct State {
	std::mutex lock;
	std::vector<Watch> watches;
	bool on = false, fatal = false, all = false, allocated = false;
	std::vector<Allowed> allowed;
	khost::oracle::Accesses seen;
	std::vector<std::string> findings;
};
State &st()
{
	static State *s = new State();
	return *s;
}

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%" PRIx64, v);
	return b;
}

// Whether [addr, addr + size) lies inside the union of what is reachable.
// Caller holds the state lock.
bool reachable(const State &s, uint64_t addr, uint64_t size)
{
	if (s.all || size == 0)
		return true;
	uint64_t end;
	if (__builtin_add_overflow(addr, size, &end))
		return false;
	// Walk forward through allowances that cover the current point.
	uint64_t at = addr;
	for (bool moved = true; moved && at < end;) {
		moved = false;
		for (auto &a : s.allowed)
			if (at >= a.addr && at - a.addr < a.size) {
				at = a.addr + a.size;
				moved = true;
			}
		if (!moved && s.allocated) {
			uint64_t top = arena_allocated_end(at);
			if (top > at) {
				at = top;
				moved = true;
			}
		}
	}
	return at >= end;
}

// Runs, with no lock held, the decoders whose watch matches.
template <typename Match> void run(uint64_t value, Match match)
{
	std::vector<Watch> hits;
	{
		State &s = st();
		std::lock_guard<std::mutex> g(s.lock);
		if (!s.on)
			return;
		for (auto &w : s.watches)
			if (match(w))
				hits.push_back(w);
	}
	for (auto &w : hits) {
		khost::oracle::Accesses out;
		w.decode(value, out);
		khost::oracle::check(w.engine.c_str(), out);
	}
}

} // namespace

namespace khost::detail {

void oracle_start_write(uint64_t reg, uint64_t value)
{
	run(value, [&](const Watch &w) { return w.irq < 0 && w.reg == reg && (value & w.mask); });
}

void oracle_irq(unsigned irq)
{
	run(irq, [&](const Watch &w) { return w.irq == (int)irq; });
}

} // namespace khost::detail

namespace khost::oracle {

void on_start(const char *engine, uint64_t start_reg, uint64_t start_mask, Decoder decode)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().watches.push_back({engine, start_reg, start_mask, -1, std::move(decode)});
}

void on_irq(const char *engine, unsigned irq, Decoder decode)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().watches.push_back({engine, 0, 0, (int)irq, std::move(decode)});
}

void enable(bool on)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().on = on;
	if (!on) {
		st().allowed.clear();
		st().all = st().allocated = false;
	}
}

bool enabled()
{
	std::lock_guard<std::mutex> g(st().lock);
	return st().on;
}

void set_fatal(bool on)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().fatal = on;
}

void allow(uint64_t addr, uint64_t size, const std::string &what)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().allowed.push_back({addr, size, what});
}

void disallow(uint64_t addr, uint64_t size)
{
	std::lock_guard<std::mutex> g(st().lock);
	auto &v = st().allowed;
	for (auto it = v.begin(); it != v.end(); ++it)
		if (it->addr == addr && it->size == size) {
			v.erase(it);
			return;
		}
}

void allow_all(bool on)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().all = on;
}

void allow_allocated(bool on)
{
	std::lock_guard<std::mutex> g(st().lock);
	st().allocated = on;
}

namespace {

// Records a finding; caller holds the lock, which is dropped for the fault.
void found(State &s, std::unique_lock<std::mutex> &g, const std::string &f)
{
	s.findings.push_back(f);
	if (s.fatal) {
		fprintf(stderr, "==kernel fuzz== %s\n", f.c_str());
		abort();
	}
	g.unlock();
	fault(f);
	g.lock();
}

} // namespace

int check(const char *engine, const Accesses &accesses)
{
	State &s = st();
	std::unique_lock<std::mutex> g(s.lock);
	int outside = 0;
	for (auto &a : accesses) {
		s.seen.push_back(a);
		if (reachable(s, a.addr, a.size))
			continue;
		outside++;
		found(s, g,
		      std::string("access oracle: ") + engine + (a.write ? " writes " : " reads ") + "[" +
			      hex(a.addr) + ", +" + hex(a.size) + ") outside what the caller may reach: " + a.what);
	}
	return outside;
}

int check_mapping(const char *what, uint64_t reach, uint64_t mapped)
{
	State &s = st();
	std::unique_lock<std::mutex> g(s.lock);
	if (!s.on || s.all || reach <= mapped)
		return 0;
	found(s, g, std::string("access oracle: ") + what + " reaches " + hex(reach) + " bytes into a mapping of " +
			    hex(mapped));
	return 1;
}

Accesses seen()
{
	std::lock_guard<std::mutex> g(st().lock);
	return st().seen;
}

std::vector<std::string> findings()
{
	std::lock_guard<std::mutex> g(st().lock);
	return st().findings;
}

void clear()
{
	std::lock_guard<std::mutex> g(st().lock);
	st().seen.clear();
	st().findings.clear();
}

void add_in_window(Accesses &out, const Access &a)
{
	const uint64_t window = 1ull << 32, base = a.addr & ~(window - 1), low = a.addr - base;
	uint64_t first = a.size < window - low ? a.size : window - low;
	out.push_back({a.addr, first, a.write, a.what});
	if (first < a.size)
		out.push_back({base, a.size - first < low ? a.size - first : low, a.write, a.what + " (wrapped)"});
}

} // namespace khost::oracle

// Freed memory is no one's any more: the allowances inside it end.
void khost::detail::oracle_freed(uint64_t addr, uint64_t size)
{
	std::lock_guard<std::mutex> g(st().lock);
	auto &v = st().allowed;
	v.erase(std::remove_if(v.begin(), v.end(), [&](const Allowed &a) {
		return a.addr >= addr && a.addr - addr < size && a.size <= size - (a.addr - addr);
	}), v.end());
}
