// Writes a small seed corpus for every fuzz target, made with the project's
// own image builder and engine: crv_fuzz_seeds <folder> <res/images folder>
// fills <folder>/<target>/.
#include <fcntl.h>
#include <libfdt.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crv_container.h"
#include "crv_fdt_writer.h"
#include "crv_sparse.h"
#include "imgbuilder.h"
#include "kernel/ioctl_input.h"
#include "uapi/vyr_dispage.h"
#include "uapi/vyr_gai.h"
#include "uapi/vyr_gpu.h"
#include "uapi/vyr_hdma.h"
#include "uapi/vyr_osd.h"
#include "uapi/vyr_xdma.h"

namespace fs = std::filesystem;

namespace {

fs::path out;

void seed(const std::string &target, const std::string &name, const std::string &bytes)
{
	fs::create_directories(out / target);
	std::ofstream(out / target / name, std::ios::binary) << bytes;
}

std::string file(const fs::path &p)
{
	std::ifstream in(p, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string container(const std::vector<imgbuilder::Image> &images)
{
	fs::path tmp = out / ".container";
	imgbuilder::write_container(tmp, images);
	std::string bytes = file(tmp);
	fs::remove(tmp);
	return bytes;
}

imgbuilder::Image image(const char *name, std::string data, const char *compress = "none", const char *param = "")
{
	imgbuilder::Image i;
	i.name = name;
	i.target = "/dev/mmcblk0p5";
	i.compress = compress;
	i.param = param;
	i.data = std::move(data);
	return i;
}

// A sparse image of a raw block, a fill run, a hole and a CRC chunk.
std::string sparse_image()
{
	fs::path tmp = out / ".sparse";
	static char block[4096];
	memset(block, 0x5a, sizeof(block));
	crv_sparse_file *s = crv_sparse_file_new(4096, 8 * 4096);
	crv_sparse_file_add_data(s, block, sizeof(block), 0);
	crv_sparse_file_add_fill(s, 0xdeadbeef, 2 * 4096, 2);
	int fd = open(tmp.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
	crv_sparse_file_write(s, fd, false, true, true);
	close(fd);
	crv_sparse_file_destroy(s);
	std::string bytes = file(tmp);
	fs::remove(tmp);
	return bytes;
}

std::string blob(const char *id, const char *bootargs, bool demura)
{
	std::vector<char> buf(4096);
	fdt_create_empty_tree(buf.data(), int(buf.size()));
	int chosen = fdt_add_subnode(buf.data(), 0, "chosen");
	if (bootargs)
		fdt_setprop_string(buf.data(), chosen, "bootargs", bootargs);
	if (id)
		fdt_setprop_string(buf.data(), chosen, "crv_id_str", id);
	if (demura) {
		int tbl = fdt_add_subnode(buf.data(), 0, "memory_tbl");
		int dm = fdt_add_subnode(buf.data(), tbl, "demura");
		fdt_setprop_u32(buf.data(), dm, "region", 0x3c000000);
		fdt_appendprop_u32(buf.data(), dm, "region", 0x400000);
	}
	fdt_pack(buf.data());
	return std::string(buf.data(), fdt_totalsize(buf.data()));
}

// A selector, the pack id and the boot arguments, then the payload.
std::string fdt_input(char writer, const char *id, const char *param, const std::string &payload)
{
	return std::string(1, writer) + id + '\0' + param + '\0' + payload;
}

template <typename T>
std::string bytes(const T &v)
{
	return std::string(reinterpret_cast<const char *>(&v), sizeof(v));
}

// One call record of the ioctl harness.
std::string call(uint32_t cmd, const std::string &arg, uint8_t how = 0)
{
	std::string r = bytes(cmd) + char(how);
	uint16_t len = uint16_t(arg.size());
	return r + bytes(len) + arg;
}

void engine_seeds()
{
	const std::string md5tbl = "boot:/dev/mmcblk0p3:0:8388608:d41d8cd98f00b204e9800998ecf8427e\n"
				   "logo:/dev/mmcblk0p4:512:0:00000000000000000000000000000000\n";
	const std::string walk = container({image("stbc", "standby"), image("gray_image", "boot\nrootfs\n"),
					    image("boot", std::string(600, 'b'), "gzip"),
					    image("data", "", "none", "FORMAT-EXT4"), image("system", sparse_image(), "sparse")});
	seed("container", "images", walk);
	seed("verify", "images", walk);
	seed("verify", "empty", container({}));
	seed("byname", "preinst", container({image("sys_run", "tgz"), image("install_icon", "\x89PNG")}));
	seed("byname", "companions", walk);
	seed("md5tbl", "table", container({image("boot", "x"), image("md5tbl", md5tbl)}));
	seed("sparse", "image", sparse_image());
	seed("npt", "tables",
	     "KQ58_PART_TABLE_START\r\nVERSION,1\r\nNAME,other\r\nCHIP,7\r\nNAND,0\r\nSIZE,0\r\nUNIT_KB,128\r\n"
	     "UNIT_VOL_KB,128\r\nID,NAME,SIZE\r\n0,boot,8\r\nKQ58_PART_UBI_VOL_TABLE\r\nMTD_IDX,NAME,SIZE,VOL_IDX\r\n"
	     "0,kernel,4,0\r\nKQ58_PART_TABLE_NEXT\r\nVERSION,1\r\nNAME,this\r\nCHIP,0\r\nNAND,0\r\nSIZE,2048\r\n"
	     "UNIT_KB,128\r\nUNIT_VOL_KB,64\r\nID,NAME,SIZE,,,TEXT\r\n0,boot,8,,,boot loader\r\n1,ubi,64\r\n"
	     "KQ58_PART_UBI_VOL_TABLE\r\nMTD_IDX,NAME,SIZE,VOL_IDX\r\n1,rootfs,32,0\r\n1,data,16,1\r\n"
	     "KQ58_PART_TABLE_END\r\n");
	seed("gpt", "list", "# name;sectors\nboot;65536\nsystem;2097152\ndata;0\n");
	crv_per_img_hdr hdr{};
	memcpy(hdr.magic, "PIMG", 4);
	strcpy(hdr.name, "data");
	strcpy(hdr.target, "/dev/mmcblk0p9");
	strcpy(hdr.param, "FORMAT-EXT4 ERASE");
	seed("graylist", "format", bytes(hdr) + "boot\nrootfs\ndata\n");
	std::string pack = blob("A", "root=/dev/mmcblk0p5", false);
	pack.resize(CRV_FDT_PACK_SLOT);
	pack += blob("B", "console=ttyS1,9600 quiet", true);
	std::string legacy(64, '\0');
	memcpy(legacy.data(), "\x27\x05\x19\x56", 4);
	seed("fdt", "single", fdt_input(0, "", "console=ttyS0 quiet", blob(nullptr, "old", false)));
	seed("fdt", "tcon", fdt_input(1, "", "quiet", legacy + blob(nullptr, nullptr, true)));
	seed("fdt", "pack", fdt_input(2, "B", "root=/dev/sda1", pack));
	seed("fdt", "pack-console", fdt_input(4, "A", "", pack));
}

void kernel_seeds()
{
	for (unsigned nr = 0; nr < 222; nr++) {
		std::string arg(64, '\0');
		seed("osd", "nr" + std::to_string(nr),
		     std::string(1, char(nr % 5)) + call(_IOWR(KER_OSD_IO_TYPE, nr, __u32), arg) +
			     call(_IOW(KER_OSD_IO_TYPE, nr, __u8), std::string("\1", 1), kCallScalar) +
			     call(_IOWR(KER_OSD_IO_TYPE, nr, __u32), arg, kCallCompat));
	}

	// Plane 0's updates held by the analogue timing while it is flipped to
	// the scene's dma-buf (descriptor 100) again and again: run twice, the
	// imports waiting for the hardware must not grow again.
	const uint32_t show[15] = {0, 0, 0, 0, 0, 16, 16, 16, 0, 0, 0, 16, 16, 100, uint32_t(-1)};
	std::string held = std::string(1, 0) + call(_IOW(KER_OSD_IO_TYPE, 6, __u8), std::string("\1", 1), kCallScalar);
	for (int i = 0; i < 6; i++)
		held += call(_IOWR(KER_OSD_IO_TYPE, 35, show), bytes(show));
	seed("osd", "held-flips", held);

	// The second cursor, which the scene leaves no buffer, shown layer,
	// plane and region, then updated.
	std::string on = std::string(1, 4);
	for (unsigned nr : {12u, 14u, 99u})
		on += call(_IOW(KER_OSD_IO_TYPE, nr, __u8), std::string("\1", 1), kCallScalar);
	const uint32_t update[2] = {16, 1};
	seed("osd", "show-a-cursor-without-a-buffer", on + call(_IOW(KER_OSD_IO_TYPE, 10, update), bytes(update)));

	// Every exec type on 16x16 planes in the scene's dma-buf (descriptor
	// 100, 256 KiB apart), plain and with a blended fill, run-length output
	// and partial scaling, each with one batch entry of its type.
	ST_KGPU_EXEC e{};
	e.stDst.u8Format = 3;
	e.stDst.u32BufSrcType = KGPU_BUF_SRC_DMABUF;
	e.stDst.u16Stride[0] = 64;
	e.stDst.u16Width = 16;
	e.stDst.u16Height = 16;
	e.stSrc1 = e.stDst;
	e.stSrc2 = e.stDst;
	for (int i = 0; i < 3; i++) {
		ST_KGPU_EXEC_PLANE &p = i == 0 ? e.stSrc1 : i == 1 ? e.stSrc2 : e.stDst;
		p.s32Fd[0] = 100;
		p.u32Offset[0] = 0x40000 * i;
	}
	const uint16_t entry[KGPU_EXEC_TYPE_NUM][8] = {
		{}, {}, {}, {}, {}, {8, 8, 4, 4}, {8, 8, 0, 0, 4, 4}, {0, 0, 8, 8, 4, 4, 8, 8}, {8, 8, 2, 2, 4, 4, 6, 6}};
	for (uint32_t type = 0; type < KGPU_EXEC_TYPE_NUM; type++) {
		e.u32Type = type;
		e.s32BatchNum = 1;
		e.u64BatchEntries = kArgAddr + sizeof(e);
		std::string rec = std::string(1, 0) + call(KGPU_IOC_EXEC, bytes(e) + bytes(entry[type]));
		seed("gpu", "exec" + std::to_string(type), rec);
		ST_KGPU_EXEC o = e;
		o.stBlend.u32Control = 1;
		o.u8RunLenEnable = 1;
		o.u32RunLen = 1024;
		o.stScale.u16PartialMarker = KGPU_EXEC_PARTIAL_MARKER;
		o.stScale.s16X1 = o.stScale.s16Y1 = 1;
		o.stScale.s16X2 = o.stScale.s16Y2 = 14;
		o.stSrc1.u16Width = o.stSrc1.u16Height = 8;
		o.stSrc1.s16X = o.stSrc1.s16Y = 4;
		seed("gpu", "exec" + std::to_string(type) + "-options",
		     std::string(1, 0) + call(KGPU_IOC_EXEC, bytes(o) + bytes(entry[type])));
	}
	ST_KGPU_MEM_ALLOC alloc{};
	alloc.u32Size = 8192;
	ST_KGPU_SYNC_RANGE range{0x100000000ull, 4096, KGPU_SYNC_FOR_CPU};
	ST_KGPU_SYNC_RANGES ranges{kArgAddr + sizeof(ST_KGPU_SYNC_RANGES), 1, {}};
	ST_KGPU_BUF_EXCHANGE xchg{};
	xchg.u32PlaneNum = 1;
	xchg.u64PlaneAddr[0] = 0x100000000ull;
	xchg.u32PlaneSize[0] = 4096;
	seed("gpu", "misc",
	     std::string(1, 0) + call(KGPU_IOC_GET_CHIP_ID, bytes(0u)) + call(KGPU_IOC_MEM_ALLOC, bytes(alloc)) +
		     call(KGPU_IOC_SYNC, bytes(range)) + call(KGPU_IOC_SYNC_RANGES, bytes(ranges) + bytes(range)) +
		     call(KGPU_IOC_LOCK, "") + call(KGPU_IOC_UNLOCK, "") + call(KGPU_IOC_STATUS, std::string(24, '\0')) +
		     call(KGPU_IOC_BUF_EXCHANGE, bytes(xchg)) + call(KGPU_IOC_MEM_SHOW, "") + call(KGPU_IOC_FLUSH_ALL, ""));

	ST_KDISPAGE_BAT bat{};
	for (ST_KDISPAGE_PLANE *p : {&bat.FillDst, &bat.Src, &bat.Dst}) {
		p->FormatMode = 0;
		p->Buf_Address[0] = 0x100000000ull;
		p->Buf_Stride[0] = 64;
		p->Width = 16;
		p->Height = 16;
	}
	for (uint32_t mode : {KDISPAGE_BAT_FILL, KDISPAGE_BAT_TRANSFORM}) {
		bat.Mode = mode;
		seed("dispage", "bat" + std::to_string(mode), std::string(1, 0) + call(KDISPAGE_IOC_BAT, bytes(bat)));
	}

	seed("hdma", "calls",
	     std::string(1, 0) + call(KHDMA_IO_GET_CMA_PADDR, bytes(0u)) + call(KHDMA_IO_READ_CMA_WORD, bytes(4u)) +
		     call(KHDMA_IO_COPY, bytes(0u)) + call(KHDMA_IO_FILL, bytes(0u)));
	for (uint32_t test = 0; test < 8; test++)
		seed("hdma", "selftest" + std::to_string(test), std::string(1, 0) + call(KHDMA_IO_SELF_TEST, bytes(test)));

	vyr_xdma_transfer t{};
	t.src_addr = 0x100000000ull;
	t.dst_addr = 0x100010000ull;
	t.byte_count = 256;
	for (uint32_t mode : {KXDMA_MODE_FILL, KXDMA_MODE_COPY}) {
		t.mode = mode;
		seed("xdma", "phys" + std::to_string(mode),
		     std::string(1, 0) + call(AXIDMA_USER_IO_PHYS, bytes(t)) + call(AXIDMA_USER_IO_PHYS2, bytes(t), kCallCompat) +
			     call(KXDMA_IO_SELF_TEST, bytes(t)));
	}
	vyr_xdma_cmd cmd{0x100000000ull, 0x100010000ull, 256};
	vyr_xdma_cmd_header head{kArgAddr + sizeof(head), 1, 0};
	seed("xdma", "commands",
	     std::string(1, 0) + call(KXDMA_IO_COMMAND_MODE, bytes(head) + bytes(cmd)) +
		     call(KXDMA_IO_GET_COMMAND_STATUS, std::string(32, '\0')) +
		     call(KXDMA_IO_COMMAND_MODE2, bytes(head) + bytes(cmd)) +
		     call(KXDMA_IO_GET_COMMAND_STATUS2, std::string(32, '\0')));

	ST_GAI_COPY_RESULT res{100, 0, kArgAddr + sizeof(res), 64, 0};
	ST_GAI_DATA_PROC proc{100, 0, 64};
	seed("gai", "calls",
	     std::string(1, 0) + call(GAI_IOC_COPY_RESULT, bytes(res) + std::string(64, '\0')) +
		     call(GAI_IOC_DATA_PROC, bytes(proc)) + call(GAI_IOC_COPY_RESULT, bytes(res), kCallCompat));
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: %s OUT_FOLDER RES_IMAGES_FOLDER\n", argv[0]);
		return 2;
	}
	out = argv[1];
	fs::create_directories(out);
	engine_seeds();
	kernel_seeds();
	for (auto &e : fs::directory_iterator(argv[2]))
		if (e.path().extension() == ".png")
			seed("png", e.path().filename(), file(e.path()));
	return 0;
}
