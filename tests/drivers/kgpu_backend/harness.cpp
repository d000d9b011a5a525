#include "harness.hpp"

#include <cstring>
#include <map>

// Words the driver core owns.
extern "C" {
unsigned int g_GpuDbgMask = 1;
unsigned int g_GpuHwFeature;
}

namespace kgpu {

Core core;
Lists lists;

namespace {

struct Pending {
	KER_GPU_CALLBACK cb1 = nullptr, cb2 = nullptr;
	void *arg1 = nullptr, *arg2 = nullptr;
	bool armed = false;
} pending;

std::map<struct list_head *, std::vector<ST_KGPU_CMDBUF_PAGE *>> open_lists;
// Command pages live below 4 GiB (the engine takes 32-bit list addresses).
std::map<uint64_t, std::vector<uint8_t>> page_mem;
uint64_t next_page = 0x80000000;

uint32_t *page_ptr(uint64_t pa)
{
	auto it = page_mem.upper_bound(pa);
	--it;
	return reinterpret_cast<uint32_t *>(it->second.data() + (pa - it->first));
}

int fake_lock(int engine)
{
	core.calls.push_back({"lock", engine, 0, nullptr, nullptr, nullptr, nullptr});
	if (core.lock_result < 0)
		return core.lock_result;
	core.held++;
	return 0;
}

int fake_trigger(int engine, unsigned mode, KER_GPU_CALLBACK cb1, void *a1,
		 KER_GPU_CALLBACK cb2, void *a2)
{
	core.calls.push_back({"trigger", engine, mode, cb1, a1, cb2, a2});
	if (core.trigger_result < 0)
		return core.trigger_result;
	KGPU_OP_trigger(engine);
	core.at_trigger.push_back(khost::journal());
	phys_addr_t base = engine ? kEngine1 : kEngine0;
	khost::set_reg(base + AGE_STATUS, core.status_after);
	khost::set_reg(base + KER_GPU_CPU_REG_OFFSET + CP_STATUS, core.cpu_status_after);
	if (mode) {
		pending = {cb1, cb2, a1, a2, true};
	}
	return 0;
}

int fake_unlock(int engine)
{
	core.calls.push_back({"unlock", engine, 0, nullptr, nullptr, nullptr, nullptr});
	core.held--;
	return 0;
}

} // namespace

std::vector<Cmd> decode_list(uint64_t pa)
{
	std::vector<Cmd> out;
	for (int guard = 0; guard < 100000; guard++) {
		const uint32_t *c = page_ptr(pa);
		Cmd cmd{c[0], c[1]};
		if (cmd.word == KGPU_CMD_JUMP) {
			out.push_back(cmd);
			pa = cmd.value;
			continue;
		}
		out.push_back(cmd);
		if (cmd.word == KGPU_CMD_END)
			break;
		pa += 8;
	}
	return out;
}

void Backend::SetUp()
{
	core = Core{};
	lists = Lists{};
	pending = Pending{};
	open_lists.clear();
	page_mem.clear();
	next_page = 0x80000000;
	for (phys_addr_t b : {kEngine0, kEngine1}) {
		khost::add_regs(b, KER_GPU_REG_WINDOW_SIZE);
		khost::add_regs(b + KER_GPU_CPU_REG_OFFSET, KER_GPU_REG_WINDOW_SIZE);
		// The reset bits and the interrupt acknowledge clear themselves.
		khost::on_write(b + AGE_CTRL, [](phys_addr_t, uint64_t v, uint64_t &stored) {
			stored = v & ~uint64_t(0xF0000400);
		});
	}
	const phys_addr_t bases[2] = {kEngine0, kEngine1};
	for (int i = 0; i < 2; i++) {
		hw_[i].Gpu_RegBase = bases[i];
		hw_[i].Cpu_RegBase = bases[i] + KER_GPU_CPU_REG_OFFSET;
		hw_[i].Gpu_RegReMap = ioremap(bases[i], KER_GPU_REG_WINDOW_SIZE);
		hw_[i].Cpu_RegReMap = ioremap(bases[i] + KER_GPU_CPU_REG_OFFSET, KER_GPU_REG_WINDOW_SIZE);
	}
	g_GpuOpDbgMask = 1;
}

void Backend::TearDown()
{
	if (pending.armed) {
		if (pending.cb2)
			pending.cb2(pending.arg2);
		if (pending.cb1)
			pending.cb1(pending.arg1);
		core.held--;
	}
	EXPECT_EQ(core.held, 0) << "engine ownership not balanced";
	EXPECT_EQ(lists.opened, lists.closed) << "command lists left open";
	for (auto &h : hw_) {
		iounmap(h.Gpu_RegReMap);
		iounmap(h.Cpu_RegReMap);
	}
	khost::KernelTest::TearDown();
}

void Backend::start(uint32_t version, uint32_t feature, uint32_t issue)
{
	init_ = {};
	init_.HwVersion = version;
	init_.HwNum = version == 4 ? 2 : 1;
	init_.pstHwReg = hw_;
	init_.pfnLock = fake_lock;
	init_.pfnTrigger = fake_trigger;
	init_.pfnUnlock = fake_unlock;
	init_.HwFeature = init_.FeatureMask = feature;
	init_.HwIssue = init_.IssueMask = issue;
	ASSERT_EQ(KGPU_OP_Initial(&init_), 0);
	khost::clear_journal();
}

std::vector<std::pair<uint32_t, uint32_t>> Backend::writes(phys_addr_t base) const
{
	std::vector<std::pair<uint32_t, uint32_t>> out;
	for (auto &a : khost::journal())
		if (a.write && a.addr >= base && a.addr < base + KER_GPU_REG_WINDOW_SIZE)
			out.emplace_back(uint32_t(a.addr - base), uint32_t(a.value));
	return out;
}

uint32_t Backend::last(uint32_t off, phys_addr_t base) const
{
	auto v = all(off, base);
	EXPECT_FALSE(v.empty()) << "register 0x" << std::hex << off << " never written";
	return v.empty() ? 0xDEADBEEF : v.back();
}

std::vector<uint32_t> Backend::all(uint32_t off, phys_addr_t base) const
{
	std::vector<uint32_t> out;
	for (auto &w : writes(base))
		if (w.first == off)
			out.push_back(w.second);
	return out;
}

int Backend::count(const std::string &what) const
{
	int n = 0;
	for (auto &c : core.calls)
		n += c.what == what;
	return n;
}

KER_GPU_PLANE plane(uint8_t fmt, uint64_t addr, uint16_t w, uint16_t h, uint32_t stride,
		    int32_t x, int32_t y)
{
	KER_GPU_PLANE p;
	std::memset(&p, 0, sizeof(p));
	p.FormatMode = fmt;
	p.Buf_Address[0] = addr;
	p.Buf_Stride[0] = stride;
	p.W = w;
	p.H = h;
	p.ClipOn = 1;
	p.Clip_x = x;
	p.Clip_y = y;
	return p;
}

} // namespace kgpu

// ---- command lists, in memory ----
using kgpu::lists;

extern "C" {

KGPU_CMDBUF_HANDLE KGPU_Cmdbuf_Open(struct device *)
{
	auto *h = new list_head;
	kgpu::open_lists[h] = {};
	lists.opened++;
	return h;
}

ST_KGPU_CMDBUF_PAGE *KGPU_Cmdbuf_New(void)
{
	if (lists.fail_new_after == 0)
		return nullptr;
	if (lists.fail_new_after > 0)
		lists.fail_new_after--;
	auto *pg = new ST_KGPU_CMDBUF_PAGE{};
	pg->u32Size = KGPU_CMDBUF_PAGE_SIZE;
	pg->u32Room = KGPU_CMDBUF_PAGE_SIZE;
	pg->u64PhyAddr = kgpu::next_page;
	kgpu::next_page += KGPU_CMDBUF_PAGE_SIZE;
	kgpu::page_mem[pg->u64PhyAddr].assign(KGPU_CMDBUF_PAGE_SIZE, 0);
	lists.pages++;
	return pg;
}

void KGPU_Cmdbuf_Add(KGPU_CMDBUF_HANDLE h, ST_KGPU_CMDBUF_PAGE *pg)
{
	kgpu::open_lists.at(h).push_back(pg);
}

int KGPU_Cmdbuf_Write(KGPU_CMDBUF_HANDLE h, u32 cmd, u32 value);

int KGPU_Cmdbuf_Chain(KGPU_CMDBUF_HANDLE h)
{
	ST_KGPU_CMDBUF_PAGE *pg = KGPU_Cmdbuf_New();
	if (!pg)
		return -12;
	KGPU_Cmdbuf_Write(h, KGPU_CMD_JUMP, (u32)pg->u64PhyAddr);
	KGPU_Cmdbuf_Add(h, pg);
	return pg->u32Room;
}

int KGPU_Cmdbuf_Write(KGPU_CMDBUF_HANDLE h, u32 cmd, u32 value)
{
	auto &pages = kgpu::open_lists.at(h);
	if (pages.empty())
		return -12;
	auto *pg = pages.back();
	uint32_t *p = kgpu::page_ptr(pg->u64PhyAddr + 8 * pg->u32CmdNum);
	p[0] = value;
	p[1] = cmd;
	pg->u32CmdNum++;
	pg->u32Room -= 8;
	return pg->u32Room;
}

u64 KGPU_Cmdbuf_Stop(KGPU_CMDBUF_HANDLE h)
{
	auto &pages = kgpu::open_lists.at(h);
	if (pages.empty())
		return 0;
	return pages.back()->u64PhyAddr + 8 * pages.back()->u32CmdNum;
}

void KGPU_Cmdbuf_Close(KGPU_CMDBUF_HANDLE h)
{
	if (!h)
		return;
	for (auto *pg : kgpu::open_lists.at(h))
		delete pg;
	kgpu::open_lists.erase(h);
	delete h;
	lists.closed++;
}

void KGPU_Cmdbuf_Dump(KGPU_CMDBUF_HANDLE) {}

u64 KGPU_Cmdbuf_First(KGPU_CMDBUF_HANDLE h)
{
	auto &pages = kgpu::open_lists.at(h);
	return pages.empty() ? 0 : pages.front()->u64PhyAddr;
}

u64 KGPU_Cmdbuf_Reg_Plane_Addr(u64 base, u32 stride, u32 pixel_bytes, u32 y, u32 x)
{
	return base + (u64)y * stride + (u64)x * pixel_bytes;
}

u32 KGPU_Cmdbuf_Reg_Plane_Size(u32 w, u32 h)
{
	return w | h << 16;
}

} // extern "C"
