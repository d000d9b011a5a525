// Host kernel: locks, waits, kernel threads, time and timers on pthreads.
#include "internal.hpp"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <list>
#include <set>
#include <thread>

extern "C" {
#include "khost/sched.h"
}

using namespace khost::detail;

namespace khost::detail {

namespace {
const auto t0 = std::chrono::steady_clock::now();
std::atomic<unsigned> time_scale{100};
std::atomic<int> locks_held{0};
} // namespace

long long now_ns()
{
	return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
}

unsigned scale() { return time_scale.load(); }

long long kernel_ns() { return now_ns() * (long long)scale(); }

long long kernel_ns_to_host_deadline(long long kernel_delta_ns)
{
	return now_ns() + kernel_delta_ns / (long long)scale();
}

struct TaskExtra {
	std::atomic<bool> sigpending{false};
	std::atomic<bool> should_stop{false};
	std::atomic<bool> started{false};
	std::atomic<bool> exited{false};
	int (*fn)(void *) = nullptr;
	void *data = nullptr;
	int result = 0;
	std::thread thread;
	bool kthread = false;
};

static TaskExtra *extra(struct task_struct *t)
{
	if (!t->khost)
		t->khost = new TaskExtra();
	return static_cast<TaskExtra *>(t->khost);
}

static void wake_all_locked() { g_cv.notify_all(); }

void free_host_task(struct task_struct *t)
{
	delete static_cast<TaskExtra *>(t->khost);
	delete t;
}

// Sleeps until notified or the host deadline (-1: none) passes. g_lock held.
static bool sleep_locked(std::unique_lock<std::mutex> &lk, long long deadline)
{
	if (deadline < 0) {
		g_cv.wait(lk);
		return true;
	}
	long long left = deadline - now_ns();
	if (left <= 0)
		return false;
	g_cv.wait_for(lk, std::chrono::nanoseconds(left));
	return now_ns() < deadline;
}

static void lock_acquired() { locks_held++; }
static void lock_released() { locks_held--; }

} // namespace khost::detail

static std::atomic<int> g_kthread_fail{0};

namespace khost {

void fail_next_kthread(int err) { g_kthread_fail = err; }

void set_time_scale(unsigned s) { time_scale = s ? s : 1; }

void set_signal_pending(struct task_struct *task, bool pending)
{
	std::lock_guard<std::mutex> g(g_lock);
	extra(task)->sigpending = pending;
	g_cv.notify_all();
}

int locks_held_count() { return locks_held.load(); }

} // namespace khost

extern "C" {

/* ---- time ---- */

unsigned long khost_jiffies(void)
{
	return (unsigned long)(kernel_ns() / (NSEC_PER_SEC / HZ));
}

ktime_t ktime_get(void) { return kernel_ns(); }

void ktime_get_ts64(struct timespec64 *ts)
{
	long long ns = kernel_ns();
	ts->tv_sec = ns / NSEC_PER_SEC;
	ts->tv_nsec = ns % NSEC_PER_SEC;
}

void ktime_get_real_ts64(struct timespec64 *ts) { ktime_get_ts64(ts); }

static void host_sleep_kernel_ns(long long ns)
{
	if (ns > 0)
		std::this_thread::sleep_for(std::chrono::nanoseconds(ns / scale()));
}

void msleep(unsigned int msecs)
{
	khost_might_sleep("msleep");
	host_sleep_kernel_ns((long long)msecs * NSEC_PER_MSEC);
}

unsigned long msleep_interruptible(unsigned int msecs)
{
	msleep(msecs);
	return 0;
}

void usleep_range(unsigned long min, unsigned long max)
{
	(void)max;
	khost_might_sleep("usleep_range");
	host_sleep_kernel_ns((long long)min * NSEC_PER_USEC);
}

/* Busy waits are legal in atomic context; they cost no host time. */
void udelay(unsigned long usecs) { (void)usecs; }
void mdelay(unsigned long msecs) { (void)msecs; }
void ndelay(unsigned long nsecs) { (void)nsecs; }

long long khost_deadline_after(long timeout_jiffies)
{
	if (timeout_jiffies == MAX_SCHEDULE_TIMEOUT)
		return -1;
	if (timeout_jiffies < 0)
		timeout_jiffies = 0;
	return kernel_ns_to_host_deadline((long long)timeout_jiffies * (NSEC_PER_SEC / HZ));
}

long khost_jiffies_left(long long deadline_ns)
{
	if (deadline_ns < 0)
		return MAX_SCHEDULE_TIMEOUT;
	long long left = (deadline_ns - now_ns()) * (long long)scale();
	if (left <= 0)
		return 0;
	return (long)((left + NSEC_PER_SEC / HZ - 1) / (NSEC_PER_SEC / HZ));
}

/* ---- signals and scheduling ---- */

int signal_pending(struct task_struct *t) { return extra(t)->sigpending.load(); }
int fatal_signal_pending(struct task_struct *t) { return signal_pending(t); }
void flush_signals(struct task_struct *t) { extra(t)->sigpending = false; }

void set_current_state(long state) { (void)state; }

void schedule(void)
{
	khost_might_sleep("schedule");
	std::unique_lock<std::mutex> lk(g_lock);
	sleep_locked(lk, kernel_ns_to_host_deadline(NSEC_PER_SEC / HZ));
}

static long sched_timeout(long timeout, bool intr)
{
	khost_might_sleep("schedule_timeout");
	long long dl = khost_deadline_after(timeout);
	std::unique_lock<std::mutex> lk(g_lock);
	struct task_struct *me = khost_current();
	while (true) {
		if (intr && (signal_pending(me) || extra(me)->should_stop))
			break;
		if (!sleep_locked(lk, dl))
			break;
	}
	lk.unlock();
	return khost_jiffies_left(dl);
}

long schedule_timeout(long timeout) { return sched_timeout(timeout, true); }
long schedule_timeout_interruptible(long timeout) { return sched_timeout(timeout, true); }
long schedule_timeout_uninterruptible(long timeout) { return sched_timeout(timeout, false); }
void yield(void) { std::this_thread::yield(); }
int khost_sched_setscheduler(struct task_struct *t, int policy, const void *param)
{
	(void)t; (void)policy; (void)param;
	return 0;
}

/* ---- spinlocks ---- */

void khost_spin_init(spinlock_t *l, const char *name)
{
	memset(l, 0, sizeof(*l));
	l->name = name;
}

enum { IRQ_SAFE_SEEN_IN_IRQ = 1, IRQ_SAFE_SEEN_WITH_IRQS_ON = 2 };

static void spin_acquire(spinlock_t *l)
{
	Ctx &c = ctx();
	struct task_struct *me = khost_current();
	/* A lock taken in interrupt context must never be held with interrupts
	 * on elsewhere: the interrupt would spin on it forever. */
	bool in_irq_ctx = c.hardirq > 0;
	bool irqs_on = !c.hardirq && !c.irq_off;
	std::unique_lock<std::mutex> lk(g_lock);
	if (l->owner == me && l->locked) {
		lk.unlock();
		fault(std::string("spinlock ") + (l->name ? l->name : "?") + " taken twice by one task (deadlock)");
		return;
	}
	if (in_irq_ctx)
		l->irq_safe_state |= IRQ_SAFE_SEEN_IN_IRQ;
	if (irqs_on)
		l->irq_safe_state |= IRQ_SAFE_SEEN_WITH_IRQS_ON;
	bool unsafe = l->irq_safe_state == (IRQ_SAFE_SEEN_IN_IRQ | IRQ_SAFE_SEEN_WITH_IRQS_ON);
	if (unsafe)
		l->irq_safe_state |= 4;	/* report once */
	while (l->locked)
		g_cv.wait(lk);
	l->locked = 1;
	l->owner = me;
	lk.unlock();
	if (unsafe && !(l->irq_safe_state & 8)) {
		l->irq_safe_state |= 8;
		fault(std::string("spinlock ") + (l->name ? l->name : "?") +
		      " is taken in interrupt context and elsewhere with interrupts on");
	}
	c.spin_held++;
	lock_acquired();
}

static void spin_release(spinlock_t *l)
{
	Ctx &c = ctx();
	{
		std::unique_lock<std::mutex> lk(g_lock);
		if (!l->locked || l->owner != khost_current()) {
			lk.unlock();
			fault(std::string("spin_unlock of ") + (l->name ? l->name : "?") + " not held by this task");
			return;
		}
		l->locked = 0;
		l->owner = nullptr;
		wake_all_locked();
	}
	c.spin_held--;
	lock_released();
}

void spin_lock(spinlock_t *l) { spin_acquire(l); }
void spin_unlock(spinlock_t *l) { spin_release(l); }
void spin_lock_bh(spinlock_t *l) { spin_acquire(l); }
void spin_unlock_bh(spinlock_t *l) { spin_release(l); }
int spin_trylock(spinlock_t *l)
{
	{
		std::lock_guard<std::mutex> g(g_lock);
		if (l->locked)
			return 0;
	}
	spin_acquire(l);
	return 1;
}
void spin_lock_irq(spinlock_t *l)
{
	khost_local_irq_disable();
	spin_acquire(l);
}
void spin_unlock_irq(spinlock_t *l)
{
	spin_release(l);
	khost_local_irq_enable();
}
unsigned long khost_spin_lock_irqsave(spinlock_t *l)
{
	unsigned long flags = khost_local_irq_save();
	spin_acquire(l);
	return flags;
}
void spin_unlock_irqrestore(spinlock_t *l, unsigned long flags)
{
	spin_release(l);
	khost_local_irq_restore(flags);
}
int spin_is_locked(spinlock_t *l)
{
	std::lock_guard<std::mutex> g(g_lock);
	return l->locked;
}

/* ---- mutexes ---- */

void khost_mutex_init(struct mutex *m, const char *name)
{
	memset(m, 0, sizeof(*m));
	m->name = name;
}

static int mutex_acquire(struct mutex *m, bool intr)
{
	khost_might_sleep("mutex_lock");
	struct task_struct *me = khost_current();
	std::unique_lock<std::mutex> lk(g_lock);
	if (m->locked && m->owner == me) {
		lk.unlock();
		fault(std::string("mutex ") + (m->name ? m->name : "?") + " locked twice by one task (deadlock)");
		return -EDEADLK;
	}
	while (m->locked) {
		if (intr && signal_pending(me))
			return -EINTR;
		g_cv.wait(lk);
	}
	m->locked = 1;
	m->owner = me;
	lk.unlock();
	lock_acquired();
	return 0;
}

void mutex_lock(struct mutex *m) { (void)mutex_acquire(m, false); }
int mutex_lock_interruptible(struct mutex *m) { return mutex_acquire(m, true); }
int mutex_lock_killable(struct mutex *m) { return mutex_acquire(m, true); }
int mutex_trylock(struct mutex *m)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (m->locked)
		return 0;
	m->locked = 1;
	m->owner = khost_current();
	lk.unlock();
	lock_acquired();
	return 1;
}
void mutex_unlock(struct mutex *m)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (!m->locked || m->owner != khost_current()) {
		lk.unlock();
		fault(std::string("mutex_unlock of ") + (m->name ? m->name : "?") + " not held by this task");
		return;
	}
	m->locked = 0;
	m->owner = nullptr;
	wake_all_locked();
	lk.unlock();
	lock_released();
}
int mutex_is_locked(struct mutex *m)
{
	std::lock_guard<std::mutex> g(g_lock);
	return m->locked;
}

/* ---- semaphores: counting, any task may up(), not counted as held locks ---- */

void sema_init(struct semaphore *s, int val)
{
	s->count = val;
	if (!s->name)
		s->name = "semaphore";
}

static int sem_down(struct semaphore *s, bool intr, long long deadline)
{
	khost_might_sleep("down");
	struct task_struct *me = khost_current();
	std::unique_lock<std::mutex> lk(g_lock);
	while (s->count <= 0) {
		if (intr && signal_pending(me))
			return -EINTR;
		if (!sleep_locked(lk, deadline) && s->count <= 0)
			return -ETIME;
	}
	s->count--;
	return 0;
}

void down(struct semaphore *s) { (void)sem_down(s, false, -1); }
int down_interruptible(struct semaphore *s) { return sem_down(s, true, -1); }
int down_killable(struct semaphore *s) { return sem_down(s, true, -1); }
int down_timeout(struct semaphore *s, long t) { return sem_down(s, false, khost_deadline_after(t)); }
int down_trylock(struct semaphore *s)
{
	std::lock_guard<std::mutex> g(g_lock);
	if (s->count <= 0)
		return 1;
	s->count--;
	return 0;
}
void up(struct semaphore *s)
{
	std::lock_guard<std::mutex> g(g_lock);
	s->count++;
	wake_all_locked();
}

/* ---- rw-semaphores ---- */

void khost_init_rwsem(struct rw_semaphore *s, const char *name)
{
	memset(s, 0, sizeof(*s));
	s->name = name;
}
void down_read(struct rw_semaphore *s)
{
	khost_might_sleep("down_read");
	std::unique_lock<std::mutex> lk(g_lock);
	while (s->writer)
		g_cv.wait(lk);
	s->readers++;
	lk.unlock();
	lock_acquired();
}
int down_read_trylock(struct rw_semaphore *s)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (s->writer)
		return 0;
	s->readers++;
	lk.unlock();
	lock_acquired();
	return 1;
}
void up_read(struct rw_semaphore *s)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (s->readers <= 0) {
		lk.unlock();
		fault(std::string("up_read of ") + (s->name ? s->name : "?") + " not read-held");
		return;
	}
	s->readers--;
	wake_all_locked();
	lk.unlock();
	lock_released();
}
void down_write(struct rw_semaphore *s)
{
	khost_might_sleep("down_write");
	std::unique_lock<std::mutex> lk(g_lock);
	while (s->writer || s->readers)
		g_cv.wait(lk);
	s->writer = 1;
	s->owner = khost_current();
	lk.unlock();
	lock_acquired();
}
int down_write_trylock(struct rw_semaphore *s)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (s->writer || s->readers)
		return 0;
	s->writer = 1;
	s->owner = khost_current();
	lk.unlock();
	lock_acquired();
	return 1;
}
void up_write(struct rw_semaphore *s)
{
	std::unique_lock<std::mutex> lk(g_lock);
	if (!s->writer) {
		lk.unlock();
		fault(std::string("up_write of ") + (s->name ? s->name : "?") + " not write-held");
		return;
	}
	s->writer = 0;
	s->owner = nullptr;
	wake_all_locked();
	lk.unlock();
	lock_released();
}
void downgrade_write(struct rw_semaphore *s)
{
	std::lock_guard<std::mutex> g(g_lock);
	s->writer = 0;
	s->readers++;
	wake_all_locked();
}

/* ---- wait queues ---- */

void khost_init_waitqueue_head(wait_queue_head_t *q, const char *name)
{
	q->gen = 0;
	q->name = name;
}

static std::atomic<unsigned long> wake_gen{0};

void wake_up(wait_queue_head_t *q)
{
	std::lock_guard<std::mutex> g(g_lock);
	q->gen++;
	wake_gen++;
	wake_all_locked();
}

int waitqueue_active(wait_queue_head_t *q)
{
	(void)q;
	return 1;
}

unsigned long khost_wait_prepare(wait_queue_head_t *q, const char *what)
{
	(void)q;
	khost_might_sleep(what);
	std::lock_guard<std::mutex> g(g_lock);
	return wake_gen.load();
}

int khost_wait_sleep(wait_queue_head_t *q, unsigned long ticket, int interruptible, long long deadline)
{
	(void)q;
	struct task_struct *me = khost_current();
	std::unique_lock<std::mutex> lk(g_lock);
	while (wake_gen.load() == ticket) {
		if (interruptible && signal_pending(me))
			return -ERESTARTSYS;
		/*
		 * kthread_stop wakes the thread once (wake_gen moves on); a wait
		 * whose condition does not look at kthread_should_stop then
		 * sleeps on until its timeout, as in the kernel.
		 */
		if (!sleep_locked(lk, deadline))
			return 1;
	}
	return 0;
}

/* ---- completions ---- */

void init_completion(struct completion *c)
{
	c->done = 0;
	khost_init_waitqueue_head(&c->wait, "completion");
}
void reinit_completion(struct completion *c)
{
	std::lock_guard<std::mutex> g(g_lock);
	c->done = 0;
}
void complete(struct completion *c)
{
	std::lock_guard<std::mutex> g(g_lock);
	if (c->done != UINT_MAX)
		c->done++;
	wake_gen++;
	wake_all_locked();
}
void complete_all(struct completion *c)
{
	std::lock_guard<std::mutex> g(g_lock);
	c->done = UINT_MAX;
	wake_gen++;
	wake_all_locked();
}

/* Returns 1 when done (and consumes one), 0 on timeout, -ERESTARTSYS on a signal. */
static long compl_wait(struct completion *c, bool intr, long long deadline)
{
	khost_might_sleep("wait_for_completion");
	struct task_struct *me = khost_current();
	std::unique_lock<std::mutex> lk(g_lock);
	while (!c->done) {
		if (intr && signal_pending(me))
			return -ERESTARTSYS;
		if (!sleep_locked(lk, deadline) && !c->done)
			return 0;
	}
	if (c->done != UINT_MAX)
		c->done--;
	return 1;
}

void wait_for_completion(struct completion *c) { (void)compl_wait(c, false, -1); }
int wait_for_completion_interruptible(struct completion *c)
{
	return compl_wait(c, true, -1) < 0 ? -ERESTARTSYS : 0;
}
int wait_for_completion_killable(struct completion *c) { return wait_for_completion_interruptible(c); }
unsigned long wait_for_completion_timeout(struct completion *c, unsigned long timeout)
{
	long long dl = khost_deadline_after((long)timeout);
	if (compl_wait(c, false, dl) <= 0)
		return 0;
	long left = khost_jiffies_left(dl);
	return left ? left : 1;
}
long wait_for_completion_interruptible_timeout(struct completion *c, unsigned long timeout)
{
	long long dl = khost_deadline_after((long)timeout);
	long r = compl_wait(c, true, dl);
	if (r <= 0)
		return r;
	long left = khost_jiffies_left(dl);
	return left ? left : 1;
}
bool try_wait_for_completion(struct completion *c)
{
	std::lock_guard<std::mutex> g(g_lock);
	if (!c->done)
		return false;
	if (c->done != UINT_MAX)
		c->done--;
	return true;
}
bool completion_done(struct completion *c)
{
	std::lock_guard<std::mutex> g(g_lock);
	return c->done != 0;
}

/* ---- kernel threads ---- */

struct task_struct *kthread_create_on_node(int (*fn)(void *), void *data, int node, const char *namefmt, ...)
{
	(void)node;
	khost_might_sleep("kthread_create");
	if (int err = g_kthread_fail.exchange(0))
		return (struct task_struct *)ERR_PTR(err);
	auto *t = new task_struct();
	static std::atomic<int> kpid{1000};
	t->pid = t->tgid = ++kpid;
	va_list ap;
	va_start(ap, namefmt);
	vsnprintf(t->comm, sizeof(t->comm), namefmt, ap);
	va_end(ap);
	TaskExtra *x = extra(t);
	x->fn = fn;
	x->data = data;
	x->kthread = true;
	track("kthread", t, std::string("thread \"") + t->comm + "\" not stopped");
	return t;
}

static void kthread_body(struct task_struct *t)
{
	ctx().task = t;
	TaskExtra *x = extra(t);
	x->result = x->fn(x->data);
	/* A thread may end on its own; only one still running must be stopped. */
	untrack("kthread", t);
	std::lock_guard<std::mutex> g(g_lock);
	/* Kept (a late kthread_stop may still come), reachable for leak checkers. */
	static auto *ended = new std::vector<struct task_struct *>();
	ended->push_back(t);
	x->exited = true;
	wake_all_locked();
}

int wake_up_process(struct task_struct *t)
{
	TaskExtra *x = extra(t);
	if (x->kthread && !x->started.exchange(true)) {
		x->thread = std::thread(kthread_body, t);
		return 1;
	}
	std::lock_guard<std::mutex> g(g_lock);
	wake_gen++;
	wake_all_locked();
	return 1;
}

bool kthread_should_stop(void) { return extra(khost_current())->should_stop.load(); }

int kthread_stop(struct task_struct *t)
{
	khost_might_sleep("kthread_stop");
	TaskExtra *x = extra(t);
	{
		std::lock_guard<std::mutex> g(g_lock);
		x->should_stop = true;
		wake_gen++;
		wake_all_locked();
	}
	int ret;
	if (!x->started.exchange(true)) {
		ret = -EINTR;	/* never ran */
	} else {
		x->thread.join();
		ret = x->result;
	}
	untrack("kthread", t);
	delete x;
	delete t;
	return ret;
}

void kthread_bind(struct task_struct *k, unsigned int cpu) { (void)k; (void)cpu; }

/* ---- timers: one thread fires them in timer (softirq) context ---- */

extern "C++" {
namespace {
struct TimerState {
	std::thread thread;
	bool running = false;
	struct timer_list *firing = nullptr;
	std::set<struct timer_list *> pending;
};
TimerState &timers()
{
	static TimerState *s = new TimerState();
	return *s;
}

void timer_thread()
{
	ctx().softirq = 1;
	std::unique_lock<std::mutex> lk(g_lock);
	for (;;) {
		TimerState &ts = timers();
		struct timer_list *next = nullptr;
		for (auto *t : ts.pending)
			if (!next || time_before(t->expires, next->expires))
				next = t;
		if (!next) {
			g_cv.wait(lk);
			continue;
		}
		long delta = (long)(next->expires - khost_jiffies());
		if (delta > 0) {
			g_cv.wait_for(lk, std::chrono::nanoseconds((long long)delta * (NSEC_PER_SEC / HZ) / scale()));
			continue;
		}
		ts.pending.erase(next);
		ts.firing = next;
		lk.unlock();
		untrack("timer", next);
		next->function(next);
		lk.lock();
		ts.firing = nullptr;
		wake_all_locked();
	}
}
} // namespace
} // extern "C++"

void timer_setup(struct timer_list *t, void (*fn)(struct timer_list *), unsigned int flags)
{
	t->function = fn;
	t->flags = flags;
	t->expires = 0;
	t->khost = nullptr;
}

int mod_timer(struct timer_list *t, unsigned long expires)
{
	std::lock_guard<std::mutex> g(g_lock);
	TimerState &ts = timers();
	if (!ts.running) {
		ts.running = true;
		ts.thread = std::thread(timer_thread);
		ts.thread.detach();
	}
	int was = ts.pending.count(t) ? 1 : 0;
	t->expires = expires;
	ts.pending.insert(t);
	track("timer", t, "timer still pending");
	wake_all_locked();
	return was;
}

void add_timer(struct timer_list *t) { mod_timer(t, t->expires); }

int del_timer(struct timer_list *t)
{
	int was;
	{
		std::lock_guard<std::mutex> g(g_lock);
		was = timers().pending.erase(t) ? 1 : 0;
	}
	untrack("timer", t);
	return was;
}

int del_timer_sync(struct timer_list *t)
{
	if (ctx().softirq && timers().firing == t)
		fault("del_timer_sync called from the timer's own callback");
	std::unique_lock<std::mutex> lk(g_lock);
	int was = 0;
	do {
		if (timers().pending.erase(t))
			was = 1;
		if (timers().firing == t)
			g_cv.wait(lk);
	} while (timers().firing == t || timers().pending.count(t));
	lk.unlock();
	untrack("timer", t);
	return was;
}

int timer_pending(const struct timer_list *t)
{
	std::lock_guard<std::mutex> g(g_lock);
	return timers().pending.count(const_cast<struct timer_list *>(t)) ? 1 : 0;
}

} // extern "C"

/* ---- work queues: one worker thread runs work items in process context ---- */

namespace {
struct Worker {
	std::list<struct work_struct *> queue;
	struct work_struct *running = nullptr;
	bool started = false;
};
Worker &worker()
{
	static Worker *w = new Worker();
	return *w;
}

void worker_loop()
{
	std::unique_lock<std::mutex> lk(g_lock);
	for (;;) {
		Worker &w = worker();
		if (w.queue.empty()) {
			g_cv.wait(lk);
			continue;
		}
		struct work_struct *item = w.queue.front();
		w.queue.pop_front();
		item->pending = 0;
		w.running = item;
		lk.unlock();
		untrack("work", item);
		item->func(item);
		lk.lock();
		w.running = nullptr;
		wake_all_locked();
	}
}

bool enqueue_locked(struct work_struct *w)
{
	Worker &wk = worker();
	if (!wk.started) {
		wk.started = true;
		std::thread(worker_loop).detach();
	}
	if (w->pending)
		return false;
	w->pending = 1;
	wk.queue.push_back(w);
	wake_all_locked();
	return true;
}

void delayed_work_timer(struct timer_list *t)
{
	struct delayed_work *d = container_of(t, struct delayed_work, timer);
	std::lock_guard<std::mutex> g(g_lock);
	d->work.pending = 0;
	enqueue_locked(&d->work);
}
} // namespace

extern "C" {

bool schedule_work(struct work_struct *w)
{
	std::lock_guard<std::mutex> g(g_lock);
	bool queued = enqueue_locked(w);
	if (queued)
		track("work", w, "work item still queued");
	return queued;
}

bool queue_work(struct workqueue_struct *wq, struct work_struct *w)
{
	(void)wq;
	return schedule_work(w);
}

void flush_work(struct work_struct *w)
{
	khost_might_sleep("flush_work");
	std::unique_lock<std::mutex> lk(g_lock);
	Worker &wk = worker();
	while (w->pending || wk.running == w)
		g_cv.wait(lk);
}

bool cancel_work_sync(struct work_struct *w)
{
	khost_might_sleep("cancel_work_sync");
	bool was = false;
	{
		std::unique_lock<std::mutex> lk(g_lock);
		Worker &wk = worker();
		auto it = std::find(wk.queue.begin(), wk.queue.end(), w);
		if (it != wk.queue.end()) {
			wk.queue.erase(it);
			w->pending = 0;
			was = true;
		}
		while (wk.running == w)
			g_cv.wait(lk);
	}
	untrack("work", w);
	return was;
}

bool queue_delayed_work(struct workqueue_struct *wq, struct delayed_work *d, unsigned long delay)
{
	(void)wq;
	if (!delay)
		return schedule_work(&d->work);
	{
		std::lock_guard<std::mutex> g(g_lock);
		if (d->work.pending)
			return false;
		d->work.pending = 1;
	}
	timer_setup(&d->timer, delayed_work_timer, 0);
	track("work", &d->work, "delayed work still queued");
	mod_timer(&d->timer, khost_jiffies() + delay);
	return true;
}

bool schedule_delayed_work(struct delayed_work *d, unsigned long delay)
{
	return queue_delayed_work(nullptr, d, delay);
}

bool cancel_delayed_work(struct delayed_work *d)
{
	bool was = del_timer(&d->timer);
	if (was) {
		std::lock_guard<std::mutex> g(g_lock);
		d->work.pending = 0;
	}
	return cancel_work_sync(&d->work) || was;
}

bool cancel_delayed_work_sync(struct delayed_work *d)
{
	bool was = del_timer_sync(&d->timer);
	if (was) {
		std::lock_guard<std::mutex> g(g_lock);
		d->work.pending = 0;
	}
	return cancel_work_sync(&d->work) || was;
}

struct workqueue_struct *alloc_workqueue(const char *fmt, unsigned int flags, int max, ...)
{
	(void)fmt;
	(void)flags;
	(void)max;
	auto *wq = (struct workqueue_struct *)kzalloc(8, GFP_KERNEL);
	return wq;
}

void destroy_workqueue(struct workqueue_struct *wq) { kfree(wq); }

void flush_workqueue(struct workqueue_struct *wq)
{
	(void)wq;
	std::unique_lock<std::mutex> lk(g_lock);
	while (!worker().queue.empty() || worker().running)
		g_cv.wait(lk);
}

} // extern "C"
