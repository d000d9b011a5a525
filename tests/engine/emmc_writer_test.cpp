// The eMMC common writer, run in a private system (it writes fixed paths such
// as "/tmp/dd_progress", "/extract_dir" and "/etc/mtab"): every compression
// method end to end on file and loop-device targets, the dd progress poll,
// and bad input that must fail its image and leave no staged file behind.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crv_emmc_writer.h"
#include "crv_ostrel_ctx.h"
#include "sandbox.h"

namespace {

constexpr const char *kFolder = "/data/.fwup";

std::string random_bytes(size_t len, uint32_t seed)
{
	std::string s(len, '\0');
	std::mt19937 rng(seed);
	for (auto &c : s)
		c = static_cast<char>(rng());
	return s;
}

std::string sh_out(const std::string &cmd)
{
	std::string out;
	if (FILE *p = popen(cmd.c_str(), "r")) {
		char buf[256];
		while (fgets(buf, sizeof(buf), p) != nullptr)
			out += buf;
		pclose(p);
	}
	while (!out.empty() && out.back() == '\n')
		out.pop_back();
	return out;
}

// Inside the sandbox: events are printed as they come, so that the test
// reads them from the run's output.
int print_event(int code, int value, void *)
{
	printf("EVENT %d %d\n", code, value);
	return 0;
}

struct Img {
	std::string name = "sys";
	std::string target;
	std::string compress = "none";
	std::string param;
	uint32_t offset = 0;
	std::string payload; // a path inside the sandbox
	int64_t length = -1; // -1: the payload's size
};

// Inside the sandbox: one call of the writer as the update thread makes it.
int run_writer(const Img &im, crv_progress *progress)
{
	crv_per_img_hdr h;
	memset(&h, 0, sizeof(h));
	memcpy(h.magic, "PIMG", 4);
	struct stat st {};
	stat(im.payload.c_str(), &st);
	h.length = im.length >= 0 ? static_cast<uint64_t>(im.length) : static_cast<uint64_t>(st.st_size);
	// Header text fields need no terminator when they are full.
	auto put = [](char *field, size_t size, const std::string &text) {
		memcpy(field, text.data(), std::min(size, text.size()));
	};
	put(h.name, sizeof(h.name), im.name);
	put(h.target, sizeof(h.target), im.target);
	put(h.compress, sizeof(h.compress), im.compress);
	put(h.param, sizeof(h.param) - 1, im.param);
	h.target_offset = im.offset;
	crv_per_img_handle handle {fopen(im.payload.c_str(), "rb"), h.length, 0};
	fflush(stdout);
	int ret = crv_ostrel_emmc_common_update_cb(&h, &handle, progress);
	fflush(stdout);
	printf("RET %d\n", ret);
	printf("STREAM %s\n", handle.stream == nullptr ? "closed" : "open");
	std::string staged = std::string(kFolder) + "/" + im.name + ".div";
	printf("STAGED %s\n", access(staged.c_str(), F_OK) == 0 ? "present" : "gone");
	return 0;
}

void engine_setup()
{
	crv_ostrel_test_reset();
	mkdir("/data", 0755);
	crv_ostrel_set_tmp_folder(kFolder);
	crv_ostrel_set_event_cb(print_event, nullptr);
}

// A loop device over a new file of the given size; "" when none is free.
std::string make_loop(const std::string &file, uint64_t size)
{
	int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
		return "";
	close(fd);
	return sh_out("losetup -f --show " + file + " 2>/dev/null");
}

bool has(const std::string &text, const std::string &what)
{
	return text.find(what) != std::string::npos;
}

class EmmcWriter : public ::testing::Test {
protected:
	void SetUp() override { payload_ = random_bytes(300 * 1024 + 123, 42); }
	std::string payload_;
};

// --- every method, end to end ----------------------------------------------

TEST_F(EmmcWriter, CopiedAndDecompressedPayloadsLandOnFileTargets)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	auto r = box.run([&] {
		engine_setup();
		if (system("gzip -c /in/raw >/in/raw.gz && bzip2 -c /in/raw >/in/raw.bz2") != 0)
			return 2;
		crv_progress progress {0, 1 << 20, 77};
		Img im;
		im.payload = "/in/raw";
		im.target = "/out/none.img";
		mkdir("/out", 0755);
		// File targets that exist, as device nodes do.
		for (const char *t : {"none", "gzip", "bzip2", "offset", "none_offset"})
			close(creat((std::string("/out/") + t + ".img").c_str(), 0644));
		run_writer(im, &progress);
		printf("LAST %d\n", progress.last_percent);
		im.compress = "gzip";
		im.payload = "/in/raw.gz";
		im.target = "/out/gzip.img";
		run_writer(im, &progress);
		im.compress = "bzip2";
		im.payload = "/in/raw.bz2";
		im.target = "/out/bzip2.img";
		run_writer(im, &progress);
		// A 512-byte aligned offset that is not a whole 64 KiB block.
		im.offset = 3 * 512;
		im.target = "/out/offset.img";
		run_writer(im, &progress);
		im.compress = "none";
		im.payload = "/in/raw";
		im.target = "/out/none_offset.img";
		run_writer(im, &progress);
		printf("CWD %s\n", get_current_dir_name());
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(box.read_file("/out/none.img"), payload_);
	EXPECT_EQ(box.read_file("/out/gzip.img"), payload_);
	EXPECT_EQ(box.read_file("/out/bzip2.img"), payload_);
	EXPECT_EQ(box.read_file("/out/offset.img"), std::string(1536, '\0') + payload_);
	EXPECT_EQ(box.read_file("/out/none_offset.img"), std::string(1536, '\0') + payload_);
	EXPECT_TRUE(has(r.out, "update cmd : dd if=/data/.fwup/sys.div of=/out/none.img seek=0 2>/tmp/dd_progress \n"))
		<< r.out;
	EXPECT_TRUE(has(r.out, "update cmd : gunzip  -c /data/.fwup/sys.div | dd of=/out/gzip.img seek=0 bs=64k "
			       "2>/tmp/dd_progress & \n"))
		<< r.out;
	EXPECT_TRUE(has(r.out, "update cmd : bunzip2 -dc /data/.fwup/sys.div | dd of=/out/bzip2.img seek=0 bs=64k "
			       "2>/tmp/dd_progress & \n"))
		<< r.out;
	EXPECT_TRUE(has(r.out, "write partition /out/gzip.img completed!\n")) << r.out;
	EXPECT_TRUE(has(r.out, "LAST 0\n"));
	EXPECT_FALSE(has(r.out, "RET -")) << r.out;
	EXPECT_FALSE(has(r.out, "STREAM open"));
	EXPECT_FALSE(has(r.out, "STAGED present"));
	EXPECT_TRUE(has(r.out, "CWD /\n")) << "the writer must not move the working directory";
}

TEST_F(EmmcWriter, EveryMethodWritesALoopDevice)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	auto r = box.run([&] {
		engine_setup();
		if (system("gzip -c /in/raw >/in/raw.gz && bzip2 -c /in/raw >/in/raw.bz2") != 0)
			return 2;
		// An ext4 image with a file on it, as a sparse image and as a tgz.
		if (system("mkdir -p /in/tree/top && cp /in/raw /in/tree/top/f && "
			   "mkfs.ext4 -q -F -d /in/tree/top /in/fs.img 8M && img2simg /in/fs.img /in/fs.simg && "
			   "tar czf /in/tree.tgz -C /in/tree top") != 0)
			return 3;
		crv_progress progress {0, 1 << 20, 0};
		const char *methods[][2] = {
			{"none", "/in/raw"}, {"gzip", "/in/raw.gz"}, {"bzip2", "/in/raw.bz2"},
			{"sparse", "/in/fs.simg"}, {"tgz", "/in/tree.tgz"}};
		int n = 0;
		for (auto &m : methods) {
			std::string file = std::string("/in/back_") + m[0];
			std::string dev = make_loop(file, 16 << 20);
			if (dev.empty())
				return 4;
			Img im;
			im.name = m[0];
			im.compress = m[0];
			im.payload = m[1];
			im.target = dev;
			im.param = "EXT4";
			run_writer(im, &progress);
			if (im.compress == "tgz")
				printf("TGZ %s\n", sh_out("debugfs -R 'cat /f' " + dev + " 2>/dev/null | md5sum").c_str());
			fsync(STDOUT_FILENO);
			system(("losetup -d " + dev).c_str());
			n++;
		}
		printf("RAWSUM %s\n", sh_out("md5sum </in/raw").c_str());
		return n == 5 ? 0 : 5;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_FALSE(has(r.out, "RET -")) << r.out;
	EXPECT_FALSE(has(r.out, "STAGED present"));
	for (const char *m : {"none", "gzip", "bzip2"}) {
		auto back = box.read_file(std::string("/in/back_") + m);
		ASSERT_TRUE(back.has_value());
		EXPECT_EQ(back->substr(0, payload_.size()), payload_) << m;
		EXPECT_EQ(back->size(), 16u << 20);
	}
	auto fs = box.read_file("/in/fs.img");
	auto sparse = box.read_file("/in/back_sparse");
	ASSERT_TRUE(fs && sparse);
	EXPECT_EQ(sparse->substr(0, fs->size()), *fs);
	// The tgz unpacked into the freshly formatted partition.
	auto sum = r.out.substr(r.out.find("RAWSUM ") + 7, 32);
	EXPECT_TRUE(has(r.out, "TGZ " + sum)) << r.out;
}

TEST_F(EmmcWriter, SparseImageExpandsWithProgressAndExtends)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	auto r = box.run([&] {
		engine_setup();
		if (system("mkdir -p /in/tree && head -c 3000000 /dev/urandom >/in/tree/big && "
			   "mkfs.ext4 -q -F -d /in/tree /in/fs.img 16M && img2simg /in/fs.img /in/fs.simg && "
			   "simg2img /in/fs.simg /in/oracle.img") != 0)
			return 3;
		std::string dev = make_loop("/in/back", 32 << 20);
		if (dev.empty())
			return 4;
		unlink("/etc/mtab"); // the host's is a link to /proc/mounts
		printf("DEV %s\n", dev.c_str());
		struct stat st {};
		stat("/in/fs.simg", &st);
		// 40 % of the update done; this image is 10 % of it.
		crv_progress progress {static_cast<uint64_t>(st.st_size) * 4, static_cast<uint64_t>(st.st_size) * 10, 9};
		Img im;
		im.compress = "sparse";
		im.payload = "/in/fs.simg";
		im.target = dev;
		im.param = "FORMAT-NONE SPARSE-EXTEND";
		run_writer(im, &progress);
		printf("LAST %d\n", progress.last_percent);
		printf("BLOCKS %s\n",
		       sh_out("dumpe2fs -h " + dev + " 2>/dev/null | sed -n 's/^Block count: *//p'").c_str());
		printf("FSCK %d\n", system(("e2fsck -fn " + dev + " >/dev/null 2>&1").c_str()));
		system(("losetup -d " + dev).c_str());
		// The same image to a regular file, against simg2img's output.
		im.target = "/in/file.img";
		close(creat(im.target.c_str(), 0644));
		im.param = "";
		run_writer(im, &progress);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_FALSE(has(r.out, "RET -")) << r.out;
	EXPECT_FALSE(has(r.out, "STAGED present"));
	EXPECT_TRUE(has(r.out, "LAST 0\n"));
	auto mtab = box.read_file("/etc/mtab");
	ASSERT_TRUE(mtab.has_value());
	size_t d = r.out.find("DEV ");
	ASSERT_NE(d, std::string::npos);
	std::string dev = r.out.substr(d + 4, r.out.find('\n', d) - d - 4);
	EXPECT_EQ(*mtab, dev + " /mnt ext4 rw 0 0");
	// resize2fs grew the file system over the whole 32 MiB device.
	EXPECT_TRUE(has(r.out, "BLOCKS 32768\n") || has(r.out, "BLOCKS 8192\n")) << r.out;
	EXPECT_TRUE(has(r.out, "FSCK 0\n")) << r.out;
	EXPECT_EQ(box.read_file("/in/file.img"), box.read_file("/in/oracle.img"));

	// Per-block progress from 40 towards 50 (fill blocks may pass it).
	std::vector<int> values;
	for (size_t p = r.out.find("EVENT 0 "); p != std::string::npos; p = r.out.find("EVENT 0 ", p + 1))
		values.push_back(atoi(r.out.c_str() + p + 8));
	ASSERT_GT(values.size(), 2u);
	EXPECT_GE(values.front(), 40);
	for (size_t i = 1; i < values.size() / 2; i++)
		EXPECT_GE(values[i], values[i - 1]);
}

// --- the dd progress poll --------------------------------------------------

TEST(EmmcWriterPercent, FollowsTheDdByteCount)
{
	const uint64_t MiB = 1 << 20;
	EXPECT_EQ(crv_emmc_dd_percent(100 * MiB, 0, 100 * MiB, 200 * MiB, MiB), 0);
	EXPECT_EQ(crv_emmc_dd_percent(100 * MiB, 0, 100 * MiB, 200 * MiB, 100 * MiB), 50);
	EXPECT_EQ(crv_emmc_dd_percent(10 * MiB, 40 * MiB, 100 * MiB, 10 * MiB, 5 * MiB), 45);
	// Zero divisors: no total, no device size.
	EXPECT_EQ(crv_emmc_dd_percent(10 * MiB, 40 * MiB, 100, 10 * MiB, 5 * MiB), 0);
	EXPECT_EQ(crv_emmc_dd_percent(10 * MiB, 40 * MiB, 100 * MiB, 1000, 5 * MiB), 40);
	// A byte count beyond 2 GiB, and a growing file that passes its size.
	EXPECT_EQ(crv_emmc_dd_percent(8192 * MiB, 0, 8192 * MiB, 8192 * MiB, 4096 * MiB), 50);
	EXPECT_EQ(crv_emmc_dd_percent(10 * MiB, 0, 100 * MiB, MiB, 5 * MiB), 10);
}

TEST(EmmcWriterPercent, ReadsTheByteCountOfDdReports)
{
	std::string gnu = "2+0 records in\n2+0 records out\n1048576 bytes (1.0 MB, 1.0 MiB) copied, 0.01 s\n";
	EXPECT_EQ(crv_emmc_dd_report_bytes(gnu.data(), gnu.size()), 1048576);
	std::string busybox = "2+0 records in\n2+0 records out\n3221225472 bytes (3.0GB) copied\n";
	EXPECT_EQ(crv_emmc_dd_report_bytes(busybox.data(), busybox.size()), 3221225472LL);
	// After the file was emptied dd writes on at its old offset.
	std::string holed(300, '\0');
	holed += "9+0 records in\n9+0 records out\n589824 bytes copied\n";
	EXPECT_EQ(crv_emmc_dd_report_bytes(holed.data(), holed.size()), 589824);
	std::string none = "0+0 records in\n";
	EXPECT_EQ(crv_emmc_dd_report_bytes(none.data(), none.size()), -1);
}

TEST_F(EmmcWriter, PollSignalsOnlyItsOwnDdAndWaitsForIt)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	// A decompressor that stalls after the first MiB, so that the poll sees
	// dd at work; and an unrelated long-running "dd"-named process.
	box.write_file("/shim/gunzip", "#!/bin/sh\n/bin/gunzip \"$@\" | { dd bs=65536 count=16 iflag=fullblock 2>/dev/null; sleep 3; cat; }\n", 0755);
	auto r = box.run([&] {
		engine_setup();
		if (system("head -c 4194304 /dev/urandom >/in/big && gzip -c /in/big >/in/big.gz") != 0)
			return 2;
		if (system("cp /bin/sleep /tmp/sleepdd && (/tmp/sleepdd 60 &) ") != 0)
			return 3;
		std::string path = std::string("/shim:") + getenv("PATH");
		setenv("PATH", path.c_str(), 1);
		std::string dev = make_loop("/in/back", 8 << 20);
		if (dev.empty())
			return 4;
		struct stat st {};
		stat("/in/big.gz", &st);
		crv_progress progress {0, static_cast<uint64_t>(st.st_size), 0};
		Img im;
		im.compress = "gzip";
		im.payload = "/in/big.gz";
		im.target = dev;
		run_writer(im, &progress);
		printf("LAST %d\n", progress.last_percent);
		printf("DECOY %s\n", sh_out("pgrep -x sleepdd >/dev/null && echo alive || echo gone").c_str());
		printf("SAME %d\n", system(("cmp -n 4194304 /in/big " + dev).c_str()));
		printf("CWD %s\n", get_current_dir_name());
		system(("losetup -d " + dev).c_str());
		system("pkill -x sleepdd");
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_TRUE(has(r.out, "RET 0\n")) << r.out;
	EXPECT_TRUE(has(r.out, "Process dd pid ")) << r.out;
	EXPECT_TRUE(has(r.out, "completed!\n")) << r.out;
	EXPECT_TRUE(has(r.out, "DECOY alive\n")) << r.out;
	EXPECT_TRUE(has(r.out, "SAME 0\n")) << "the writer returned before dd had written everything";
	EXPECT_TRUE(has(r.out, "CWD /\n"));
	// 1 MiB of an 8 MiB device while dd stalls: L = T, so 100 * 1024 / 8192.
	EXPECT_TRUE(has(r.out, "EVENT 0 12\n")) << r.out;
	EXPECT_TRUE(has(r.out, "STAGED gone"));
}

// --- bad input ---------------------------------------------------------------

TEST_F(EmmcWriter, BadInputFailsTheImageAndRemovesTheStagedFile)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	box.write_file("/in/bad.simg", std::string("\x3a\xff\x26\xed\x01\x00\x00\x00", 8) + payload_);
	box.write_file("/in/bad.gz", std::string("\x1f\x8b\x08\x00", 4) + payload_);
	auto r = box.run([&] {
		engine_setup();
		mkdir("/out", 0755);
		crv_progress progress {0, 1 << 20, 0};
		Img im;
		im.target = "/out/t.img";
		close(creat(im.target.c_str(), 0644));
		auto go = [&](const char *tag) {
			printf("CASE %s\n", tag);
			run_writer(im, &progress);
		};
		im.payload = "/in/raw";
		im.length = static_cast<int64_t>(payload_.size()) + 10;
		go("truncated");
		im.length = -1;
		im.compress = "sparse";
		im.payload = "/in/bad.simg";
		go("corrupt sparse");
		im.compress = "gzip";
		im.payload = "/in/bad.gz";
		go("corrupt gzip");
		im.compress = "lzma";
		im.payload = "/in/raw";
		go("unknown");
		im.compress = "none";
		im.target = "/out";
		go("dd fails");
		im.target = "/out/t.img;touch /pwned";
		go("unsafe target");
		im.target = "/out/t.img";
		im.name = "../x";
		go("unsafe name");
		im.name = "sys";
		// No bunzip2 on the search path.
		mkdir("/onlydd", 0755);
		symlink("/bin/dd", "/onlydd/dd");
		std::string saved = getenv("PATH");
		setenv("PATH", "/onlydd", 1);
		im.compress = "bzip2";
		go("missing tool");
		setenv("PATH", saved.c_str(), 1);
		// A temporary folder with no room for the payload.
		mount("tmpfs", kFolder, "tmpfs", 0, "size=64k");
		im.compress = "none";
		go("full folder");
		umount(kFolder);
		printf("PWNED %s\n", access("/pwned", F_OK) == 0 ? "yes" : "no");
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	auto section = [&](const std::string &tag) {
		size_t a = r.out.find("CASE " + tag + "\n");
		size_t b = r.out.find("CASE ", a + 1);
		return a == std::string::npos ? std::string() : r.out.substr(a, b == std::string::npos ? b : b - a);
	};
	struct Expect {
		const char *tag, *ret, *message;
	} cases[] = {
		{"truncated", "RET -5\n", "crv_ostrel_emmc_common_update_cb read pimg fail !\n"},
		{"corrupt sparse", "RET -22\n", "crv_ostrel_emmc_sparse_update_cb open sparse file fail !\n"},
		{"corrupt gzip", "RET 256\n", "crv_ostrel_emmc_common_update_cb run shell command fail !\n"},
		{"unknown", "RET -22\n", "crv_ostrel_emmc_common_update_cb unknown compress method lzma on image sys !\n"},
		{"dd fails", "RET 256\n", "crv_ostrel_emmc_common_update_cb run shell command fail !\n"},
		{"unsafe target", "RET -22\n", "invalid image name, target or temp folder !\n"},
		{"unsafe name", "RET -22\n", "invalid image name, target or temp folder !\n"},
		{"missing tool", "RET 32512\n", "crv_ostrel_emmc_common_update_cb run shell command fail !\n"},
		{"full folder", "RET -5\n", "crv_ostrel_emmc_common_update_cb write pimg fail !\n"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.tag);
		std::string s = section(c.tag);
		EXPECT_TRUE(has(s, c.ret)) << s;
		EXPECT_TRUE(has(s, c.message)) << s;
		EXPECT_TRUE(has(s, "STAGED gone")) << s;
		EXPECT_TRUE(has(s, "STREAM closed")) << s;
	}
	EXPECT_TRUE(has(r.out, "PWNED no\n")) << r.out;
}

// A target that is not there fails its image and is not made; a "tgz"
// image aimed at the partition of the temporary folder, where its archive
// is staged, is refused before anything is formatted.
TEST_F(EmmcWriter, MissingTargetsAndTheTemporaryFoldersPartitionAreRefused)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	auto r = box.run([&] {
		engine_setup();
		if (system("mkdir -p /in/tree/top && mkfs.ext4 -q -F /in/fs.img 8M && img2simg /in/fs.img /in/fs.simg && "
			   "tar czf /in/tree.tgz -C /in/tree top && cp /in/fs.img /in/apdat.img") != 0)
			return 3;
		crv_progress progress {0, 1 << 20, 5};
		Img im;
		im.target = "/dev/mmcblk0p77";
		for (auto [method, payload] : {std::pair{"none", "/in/raw"}, {"sparse", "/in/fs.simg"}}) {
			im.compress = method;
			im.payload = payload;
			run_writer(im, &progress);
		}
		crv_per_img_hdr h {};
		memcpy(h.target, "/dev/mmcblk0p77", 15);
		printf("SPARSE %d\n", crv_ostrel_emmc_sparse_update_cb(&h, "/in/fs.simg", &progress));
		printf("MADE %d\n", access("/dev/mmcblk0p77", F_OK) == 0);

		crv_ostrel_context().tmp_dev = "/in/apdat.img";
		im.target = "/in/apdat.img";
		im.compress = "tgz";
		im.payload = "/in/tree.tgz";
		im.param = "FORMAT-EXT4";
		run_writer(im, &progress);
		printf("LAST %d\n", progress.last_percent);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	const std::string engine_out = r.out.substr(std::min(r.out.size(), r.out.find("crv_ostrel_emmc_common")));
	EXPECT_EQ(engine_out, "crv_ostrel_emmc_common_update_cb target /dev/mmcblk0p77 not found !\nRET -2\nSTREAM closed\n"
			 "STAGED gone\n"
			 "crv_ostrel_emmc_common_update_cb target /dev/mmcblk0p77 not found !\nRET -2\nSTREAM closed\n"
			 "STAGED gone\n"
			 "crv_ostrel_emmc_sparse_update_cb open output device fail !\nSPARSE -2\nMADE 0\n"
			 "crv_ostrel_emmc_tgz_help_func can't unpack /data/.fwup/sys.div onto /in/apdat.img, it holds the "
			 "temp folder !\nRET -22\nSTREAM closed\nSTAGED gone\nLAST 0\n");
	EXPECT_EQ(box.read_file("/in/apdat.img"), box.read_file("/in/fs.img"));
}

TEST_F(EmmcWriter, BootPartitionSwitchIsTurnedOff)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/in/raw", payload_);
	box.write_file("/sys/block/mmcblk0boot1/force_ro", "1");
	box.write_file("/sys/block/mmcblk0boot0/force_ro", "1");
	box.write_file("/in/mmcblk0boot1", "");
	auto r = box.run([&] {
		engine_setup();
		crv_progress progress {0, 1 << 20, 0};
		Img im;
		im.payload = "/in/raw";
		im.target = "/in/mmcblk0boot1";
		run_writer(im, &progress);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(box.read_file("/sys/block/mmcblk0boot1/force_ro"), "0");
	EXPECT_EQ(box.read_file("/sys/block/mmcblk0boot0/force_ro"), "1");
}

// The two public branch functions take a null progress record as none.
TEST(EmmcWriterBranches, ANullProgressRecordIsNotTouched)
{
	EXPECT_EQ(crv_ostrel_emmc_tgz_help_func(nullptr, nullptr, nullptr), -22);
	EXPECT_EQ(crv_ostrel_emmc_sparse_update_cb(nullptr, nullptr, nullptr), -22);
}

} // namespace
