// The standby-controller writers and the SPI lock switch at its fixed path,
// each run in a private copy of the system. The flash model records the
// switch's state at every erase; the body writes a summary of the writer's
// result, those erases and the switch's state at the end.
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "crv_stbc.h"
#include "devmodels.h"
#include "imgbuilder.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr const char *kSwitch = "/proc/sys/crv/crv_stbc_lock_spi";
constexpr const char *kFlash = "/dev/mtd3";

using Writer = int (*)(const crv_per_img_hdr *, crv_per_img_handle *, void *);

std::string x50219_image(char loader)
{
	std::string img(0x20000, 'b');
	std::fill(img.begin(), img.begin() + 0x1000, loader);
	const std::string tag("\x07\x25\x63\x55\xAA\x01\x02", 7);
	img.replace(0x1000, 7, tag);
	img.replace(0x8FF0, 7, tag);
	return img;
}

// Runs `writer` on an image holding `payload` aimed at the flash, which
// starts out holding `flash`; the switch starts out as "x".
std::string run_writer(Writer writer, const std::string &payload, const std::string &flash,
		       const devmodels::Params &params)
{
	sandbox::Sandbox box;
	box.write_file(kSwitch, "x");
	box.write_file(kFlash, flash);
	auto r = box.run([&] {
		devmodels::Params p = params;
		p.set("lock", kSwitch);
		auto nor = devmodels::install<devmodels::MtdFlash>(kFlash, p);
		imgbuilder::write_container("/tmp/fw.img", {{.name = "stbc", .target = kFlash, .data = payload}});
		crv_ostrel_set_img_path("/tmp/fw.img");
		FILE *fp = fopen("/tmp/fw.img", "rb");
		crv_per_img_hdr hdr;
		crv_per_img_handle handle{};
		if (!fp || fseek(fp, 0x120, SEEK_SET) != 0 || crv_ostrel_get_per_img(fp, &hdr, &handle) != 0)
			return 2;
		int ret = writer(&hdr, &handle, nullptr);
		fclose(handle.stream);
		fclose(fp);
		std::ifstream sw(kSwitch);
		std::ostringstream summary;
		summary << ret;
		for (const auto &e : nor->events())
			if (e.starts_with("MEMERASE"))
				summary << " [" << e << "]";
		summary << " switch=" << sw.rdbuf();
		std::ofstream("/tmp/summary") << summary.str();
		return 0;
	});
	EXPECT_TRUE(r.ok()) << r.setup_error << r.err;
	return box.read_file("/tmp/summary").value_or("<no summary>");
}

TEST(StbcSwitch, SinglePassWriterHoldsTheSwitchOnlyWhileItWrites)
{
	CRV_REQUIRE_SANDBOX();
	const std::string blank(256 * 1024, 'Z');
	EXPECT_EQ(run_writer(crv_ostrel_spi_stbc_update_cb, "firmware", blank, {{"erasesize", "4K"}}),
		  "0 [MEMERASE start=0x0 len=0x1000 lock=1] switch=0");
	// A failed erase releases the switch too.
	EXPECT_EQ(run_writer(crv_ostrel_spi_stbc_update_cb, "firmware", blank, {{"erasesize", "4K"}, {"fail_erase", "5"}}),
		  "-5 [MEMERASE refused errno=5] switch=0");
	// Refused before anything is written: the switch is never touched.
	EXPECT_EQ(run_writer(crv_ostrel_spi_stbc_update_cb, "firmware", blank, {{"type", "4"}}), "-95 switch=x");
}

TEST(StbcSwitch, VerifyingWritersLeaveTheSwitchSet)
{
	CRV_REQUIRE_SANDBOX();
	const std::string blank(256 * 1024, 'Z');
	EXPECT_EQ(run_writer(crv_ostrel_spi_stbc_update_w_retry_cb, "firmware", blank, {{"erasesize", "4K"}}),
		  "0 [MEMERASE start=0x0 len=0x1000 lock=1] switch=1");
	EXPECT_EQ(run_writer(crv_ostrel_spi_stbc_update_w_retry_cb, std::string(0x20001, 'f'), blank, {}),
		  "-12 switch=x");

	std::string flash = x50219_image('O');
	flash.resize(256 * 1024, 'Z');
	EXPECT_EQ(run_writer(crv_ostrel_x50219_spi_stbc_update_cb, x50219_image('L'), flash, {{"erasesize", "4K"}}),
		  "0 [MEMERASE start=0x1000 len=0x1f000 lock=1] switch=1");
}

} // namespace
