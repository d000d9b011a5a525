// Whole runs of fwupdate on a simulated set: console tags in order, exit
// status, what lands on every partition, the misc records, the LED and the
// last frame on the screen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fwupdate_rig.h"
#include "screen_layout.h"

namespace {

using fwrig::Rig;
using fwrig::status_lines;
using Lines = std::vector<std::string>;

std::string pattern(std::size_t n, unsigned seed)
{
	std::string s(n, '\0');
	for (std::size_t i = 0; i < n; i++)
		s[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 9)) & 0xff);
	return s;
}

imgbuilder::Image emmc_image(const std::string &name, const std::string &data)
{
	imgbuilder::Image img;
	img.name = name;
	img.target = std::string(fwrig::PART_DIR) + "/" + name;
	img.data = data;
	return img;
}

imgbuilder::Image named(const std::string &name, const std::string &data)
{
	imgbuilder::Image img;
	img.name = name;
	img.data = data;
	return img;
}

const uint32_t TAKEOVER = 0x4000, BIT7 = 0x80;

// "" when the screen's last frame is the message alone, centred, in its
// colour; else what differs.
std::string screen_shows(const Rig &rig, uint32_t rgb, const std::string &text)
{
	static screenlayout::Art art;
	static const std::string missing = screenlayout::load_art(CRV_RES_IMAGES, art);
	if (!missing.empty())
		return missing;
	const Rig::Frame f = rig.last_frame();
	if (f.width == 0)
		return "no frame on /dev/fb0";
	const auto shown = screenlayout::Frame::from_bgra(reinterpret_cast<const uint8_t *>(f.bgra.data()),
							   int(f.width), int(f.height), f.width * 4);
	return screenlayout::compare(screenlayout::message_frame(int(f.width), int(f.height), art, rgb, text), shown);
}

// The dual-boot record fwupdate leaves after a successful update.
std::string dbfg_record()
{
	std::string rec(64, '\0');
	memcpy(rec.data(), "DBFG", 4);
	rec[16] = 1; // d = 1, little-endian
	return rec;
}

std::string upenv_record()
{
	std::string rec(512, '\0');
	memcpy(rec.data(), "UPENV", 5);
	return rec;
}

TEST(FwupdateRun, MultiImageUpdateWritesEveryPartitionAndTheFinalFlags)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	const std::string boot = pattern(300000, 1), kernel = pattern(70000, 2);
	rig.partition("boot", 512 * 1024, '\xee');
	rig.partition("kernel", 128 * 1024, '\xee');
	rig.image({emmc_image("boot", boot), named("ostrel", "bypassed"), emmc_image("kernel", kernel)});
	rig.screen(CRV_RES_IMAGES);

	fwrig::Outcome o = rig.run();
	ASSERT_TRUE(o.result.setup_error.empty()) << o.result.setup_error;
	EXPECT_EQ(o.exit_code, 0) << o.out << o.result.err;
	EXPECT_FALSE(o.hung);
	EXPECT_EQ(status_lines(o.out), (Lines{"upgrade-ok\r", "mw>>upgrade-ok\r"})) << o.out;
	EXPECT_NE(o.out.find("Bypass ostrel updating\n"), std::string::npos);
	EXPECT_EQ(rig.last_frame().width, 1920u) << "the set's full-HD plane";
	EXPECT_EQ(screen_shows(rig, 0xffffff, "Update finished! Reboot system!"), "");

	EXPECT_EQ(rig.partition_bytes("boot").substr(0, boot.size()), boot);
	EXPECT_EQ(rig.partition_bytes("kernel").substr(0, kernel.size()), kernel);

	EXPECT_EQ(rig.misc(0, 64), dbfg_record());
	EXPECT_EQ(rig.misc(64, 64), std::string(64, '\xff')) << "the dual-boot record is 64 bytes";
	EXPECT_EQ(rig.misc(0x25ff, 1), "\xff");
	EXPECT_EQ(rig.misc(0x2800, 1), "\xff");
	EXPECT_EQ(rig.apdat(0, 7), "ERASEDB");
	EXPECT_NE(o.out.find("Set Env usb_up_complete_flag\n"), std::string::npos);
	EXPECT_EQ(rig.misc(0x2600, 512), upenv_record());
	// Boot partition 1 selected on the eMMC (it was 2).
	EXPECT_EQ(rig.emmc_log().back(), "EXT_CSD[179]=0x48") << "no SWITCH seen";

	// ADC timer on, LED taken over, then handed back steady on.
	EXPECT_EQ(rig.mem_reg(0x210), 0xC0u);
	EXPECT_EQ(rig.mem_reg(0x220) & TAKEOVER, 0u);
	EXPECT_EQ(rig.mem_reg(0x430) & BIT7, BIT7);
	EXPECT_EQ(rig.mem_reg(0x43c) & BIT7, BIT7);
	EXPECT_EQ(rig.mem_reg(0x424) & BIT7, BIT7);
}

TEST(FwupdateRun, GrayListedImagesAndApdatAreLeftAlone)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	rig.cmdline("console=ttyS0 marlow_gray_image=2 quiet");
	const std::string tee = pattern(4096, 3), boot = pattern(8192, 4), boot2 = pattern(8192, 5);
	rig.partition("tee", 8192, 'T');
	rig.partition("boot", 16384, 'B');
	rig.partition("boot2", 16384, 'C');
	// "tee" comes before the list that names it, so it is still written.
	rig.image({emmc_image("tee", tee), named("gray_image", "tee\r\nboot2\r\napdat\r\n"), emmc_image("boot", boot),
		   emmc_image("boot2", boot2)});

	fwrig::Outcome o = rig.run();
	ASSERT_TRUE(o.result.setup_error.empty()) << o.result.setup_error;
	EXPECT_EQ(o.exit_code, 0) << o.out << o.result.err;
	EXPECT_EQ(status_lines(o.out), (Lines{"upgrade-ok\r", "mw>>upgrade-ok\r"})) << o.out;
	EXPECT_NE(o.out.find("gray_image_enable=2\n"), std::string::npos);
	EXPECT_NE(o.out.find("boot2 in Gray List, ignored!\n"), std::string::npos) << o.out;
	EXPECT_EQ(rig.partition_bytes("tee").substr(0, tee.size()), tee);
	EXPECT_EQ(rig.partition_bytes("boot").substr(0, boot.size()), boot);
	EXPECT_EQ(rig.partition_bytes("boot2"), std::string(16384, 'C'));
	EXPECT_NE(rig.apdat(0, 7), "ERASEDB");
	EXPECT_EQ(rig.misc(0, 4), "DBFG");
}

TEST(FwupdateRun, AFailedDualBootFlagIsReportedAndTheUpdateDoesNotExitClean)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	const std::string boot = pattern(4096, 10);
	rig.partition("boot", 8192, 'B');
	rig.image({emmc_image("boot", boot)});
	rig.failing_misc();

	fwrig::Outcome o = rig.run();
	EXPECT_EQ(o.exit_code, 255) << o.out;
	EXPECT_EQ(status_lines(o.out),
		  (Lines{"mw>>upgrade-err-Set flag failed\r", "upgrade-ok\r", "mw>>upgrade-ok\r"}))
		<< o.out;
	EXPECT_NE(o.out.find("Set Env flag error\n"), std::string::npos) << o.out;
	EXPECT_EQ(o.out.find("Set Env usb_up_complete_flag"), std::string::npos);
	EXPECT_EQ(rig.partition_bytes("boot").substr(0, boot.size()), boot);
	EXPECT_EQ(rig.emmc_log().back(), "EXT_CSD[179]=0x48");
}

TEST(FwupdateRun, DigestMismatchIsReportedOnceByTheEventReaction)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	rig.partition("boot", 4096, 'B');
	imgbuilder::Faults f;
	f.wrong_digest = true;
	rig.image({emmc_image("boot", pattern(4096, 6))}, f);

	fwrig::Outcome o = rig.run();
	EXPECT_EQ(o.exit_code, 255) << o.out;
	EXPECT_EQ(status_lines(o.out), (Lines{"mw>>upgrade-err-Verify image failed\r"})) << o.out;
	EXPECT_NE(o.out.find("verify failed!\n"), std::string::npos);
	EXPECT_EQ(rig.partition_bytes("boot"), std::string(4096, 'B'));
	EXPECT_EQ(rig.misc(0, 4), std::string(4, '\xff'));
	EXPECT_EQ(rig.mem_reg(0x220) & TAKEOVER, TAKEOVER) << "the LED ran during the check";
}

TEST(FwupdateRun, AFileWithoutTheImageMagicIsAnInvalidImage)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	imgbuilder::Faults f;
	f.bad_magic = true;
	rig.image({named("boot", "x")}, f);

	fwrig::Outcome o = rig.run();
	EXPECT_EQ(o.exit_code, 256 - 22) << o.out;
	EXPECT_EQ(status_lines(o.out), (Lines{"mw>>upgrade-err-Invalid image\r"})) << o.out;
	EXPECT_EQ(rig.misc(0, 4), std::string(4, '\xff'));
}

TEST(FwupdateRun, AFailingImageStopsTheUpdateAndTheUpdaterWaits)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	const std::string boot = pattern(4096, 7);
	rig.partition("boot", 8192, 'B');
	rig.partition("kernel", 8192, 'K');
	rig.partition("rootfs", 8192, 'R');
	imgbuilder::Image bad = emmc_image("kernel", pattern(4096, 8));
	bad.compress = "lzma"; // no writer understands it
	rig.image({emmc_image("boot", boot), bad, emmc_image("rootfs", pattern(4096, 9))});

	fwrig::Outcome o = rig.run();
	EXPECT_TRUE(o.hung) << "fwupdate must not exit after a failed update\n" << o.out;
	EXPECT_EQ(status_lines(o.out), (Lines{"mw>>upgrade-err-Update image failed\r", "upgrade-failed\r"})) << o.out;
	EXPECT_NE(o.out.find("Update fail! error state: 1031\n"), std::string::npos);
	EXPECT_EQ(rig.partition_bytes("boot").substr(0, boot.size()), boot);
	EXPECT_EQ(rig.partition_bytes("rootfs"), std::string(8192, 'R'));
	EXPECT_EQ(rig.misc(0, 4), std::string(4, '\xff'));
	EXPECT_EQ(rig.misc(0x2600, 8), std::string(8, '\xff'));
	EXPECT_NE(rig.apdat(0, 7), "ERASEDB");
	EXPECT_EQ(o.led_level_after_failure & BIT7, 0u) << "the LED shows the error";
	EXPECT_EQ(rig.mem_reg(0x220) & TAKEOVER, TAKEOVER);
}

TEST(FwupdateRun, APowerCutDuringAStagedCopyDoesNotBlockTheNextUpdate)
{
	CRV_REQUIRE_SANDBOX();
	// apdat has room to stage boot, but not beside a copy of kernel.
	const uint64_t apdat = 48ull << 20;
	const std::string boot = pattern(24u << 20, 12), kernel = pattern(12u << 20, 13);
	auto set = [&](Rig &rig) {
		rig.partition("boot", 25u << 20, '\xee');
		rig.partition("kernel", 13u << 20, '\xee');
		rig.image({emmc_image("boot", boot), emmc_image("kernel", kernel)});
	};
	Rig clean(FWUPDATE_PROGRAM, apdat);
	set(clean);
	fwrig::Outcome c = clean.run();
	ASSERT_EQ(c.exit_code, 0) << c.out << c.result.err;

	Rig rig(FWUPDATE_PROGRAM, apdat);
	set(rig);
	rig.cut_at("dd if=/data/.fwup/kernel.div ");
	fwrig::Outcome cut = rig.run();
	ASSERT_TRUE(cut.cut) << cut.out << cut.result.err;
	rig.reboot();
	fwrig::Outcome o = rig.run();
	EXPECT_EQ(o.exit_code, 0) << o.out << o.result.err;
	EXPECT_EQ(status_lines(o.out), (Lines{"upgrade-ok\r", "mw>>upgrade-ok\r"})) << o.out;
	EXPECT_NE(o.out.find("Remove stale /data/.fwup/kernel.div: 12.00M\nCapacity of /data/.fwup: "),
		  std::string::npos)
		<< o.out;
	for (const char *part : {"boot", "kernel", "misc"})
		EXPECT_TRUE(rig.partition_bytes(part) == clean.partition_bytes(part)) << part;
	EXPECT_EQ(rig.apdat(0, 7), "ERASEDB");
}

TEST(FwupdateRun, AMissingImageFileLeavesTheLedAlone)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	fwrig::Outcome o = rig.run(std::vector<std::string>{"/tmp/no-such.img"});
	EXPECT_EQ(o.exit_code, 255);
	EXPECT_EQ(status_lines(o.out), (Lines{"mw>>upgrade-err-File not found\r"})) << o.out;
	EXPECT_NE(o.out.find("update file /tmp/no-such.img not exist, abort update !\n"), std::string::npos);
	EXPECT_EQ(rig.mem_reg(0x210), 0xC0u);
	EXPECT_EQ(rig.mem_reg(0x220), 0u);
	EXPECT_EQ(rig.mem_reg(0x424), 0u);
}

TEST(FwupdateRun, WrongArgumentCountsPrintOnlyTheUsage)
{
	CRV_REQUIRE_SANDBOX();
	Rig rig(FWUPDATE_PROGRAM);
	for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
		fwrig::Outcome o = rig.run(args);
		EXPECT_EQ(o.exit_code, 255);
		EXPECT_EQ(o.out, std::string("Usage:") + FWUPDATE_PROGRAM + " update_file_name\n");
	}
	EXPECT_EQ(rig.mem_reg(0x210), 0u);
}

// main's own failures: the console line and tag, the red text, the exit
// status, and nothing written after the failure.
struct MainFailure {
	const char *name;
	void (*fault)(Rig &);
	const char *line; // printed before the tag
	const char *tag;
	const char *screen;
	bool updated; // the image had been written when it failed
};

class MainFailureTest : public ::testing::TestWithParam<MainFailure> {};

TEST_P(MainFailureTest, IsReportedAndEndsTheRunWithNothingWrittenAfterIt)
{
	CRV_REQUIRE_SANDBOX();
	const MainFailure &f = GetParam();
	Rig rig(FWUPDATE_PROGRAM);
	const std::string boot = pattern(4096, 11);
	rig.partition("boot", 8192, 'B');
	rig.image({emmc_image("boot", boot)});
	rig.screen(CRV_RES_IMAGES, 640, 480);
	f.fault(rig);

	fwrig::Outcome o = rig.run();
	ASSERT_TRUE(o.result.setup_error.empty()) << o.result.setup_error;
	EXPECT_FALSE(o.hung) << o.out;
	EXPECT_EQ(o.exit_code, 255) << o.out << o.result.err;
	EXPECT_EQ(status_lines(o.out), (Lines{f.tag})) << o.out;
	EXPECT_NE(o.out.find(f.line), std::string::npos) << o.out;
	EXPECT_EQ(screen_shows(rig, 0xff0000, f.screen), "");

	EXPECT_EQ(rig.partition_bytes("boot").substr(0, boot.size()), f.updated ? boot : std::string(4096, 'B'));
	EXPECT_EQ(rig.misc(0, 4), f.updated ? "DBFG" : std::string(4, '\xff'));
	EXPECT_EQ(rig.misc(0x2600, 8), std::string(8, '\xff')) << "no UPENV record";
	EXPECT_EQ(rig.apdat(0, 7) == "ERASEDB", f.updated);
}

INSTANTIATE_TEST_SUITE_P(
	Main, MainFailureTest,
	::testing::Values(
		MainFailure{"NoMemDevice", [](Rig &r) { r.no_mem_device(); }, "Unable to init led !\n",
			    "mw>>upgrade-err-System error\r", "ERROR: System error!", false},
		MainFailure{"NoThreadStarts", [](Rig &r) { r.no_threads(); }, "create led thread fail !\n",
			    "mw>>upgrade-err-System error\r", "ERROR: System error!", false},
		MainFailure{"ImageCannotBeOpened", [](Rig &r) { r.unopenable_image(); },
			    "open file /tmp/update.img failed!\n", "mw>>upgrade-err-Read image failed\r",
			    "ERROR: Read image failed!", false},
		MainFailure{"UpdateThreadDoesNotStart", [](Rig &r) { r.failing_update_thread(); }, "verify success!\n",
			    "mw>>upgrade-err-System error\r", "ERROR: System error!", false},
		MainFailure{"BootPartitionRefused", [](Rig &r) { r.refuse_boot_select(); }, "Updating......\n",
			    "mw>>upgrade-err-Set boot part failed\r", "ERROR: Set boot part failed!", true}),
	[](const auto &info) { return std::string(info.param.name); });

} // namespace
