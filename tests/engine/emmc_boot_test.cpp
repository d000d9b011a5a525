// Boot-partition selection against the simulated eMMC card: what is sent and
// what the card's EXT_CSD holds afterwards.
#include "crv_emmc_boot.h"

#include "capture.h"
#include "devmodels.h"
#include "devsim.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class EmmcBoot : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/crv-emmcboot.XXXXXX";
		int fd = mkstemp(tmpl);
		ASSERT_GE(fd, 0);
		close(fd);
		path_ = tmpl;
	}
	void TearDown() override
	{
		devsim::detach_all();
		unlink(path_.c_str());
	}
	std::shared_ptr<devmodels::Emmc> card(const std::string &partition_config, const std::string &fail = "")
	{
		devmodels::Params p{{"partition_config", partition_config}};
		if (!fail.empty())
			p.set("fail_opcode", fail);
		return devmodels::install<devmodels::Emmc>(path_, p);
	}
	std::string path_;
};

TEST_F(EmmcBoot, SelectingPartitionTwoKeepsTheOtherBits)
{
	auto emmc = card("0x48"); // boot partition 1, boot acknowledge set
	EXPECT_EQ(crv_ostrel_get_emmc_boot_part(path_.c_str()), 1);
	ASSERT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), 2), 0);
	EXPECT_EQ(emmc->partition_config(), 0x50);
	auto cmds = emmc->commands();
	EXPECT_EQ(crv_ostrel_get_emmc_boot_part(path_.c_str()), 2);

	ASSERT_EQ(cmds.size(), 3u);
	const auto &rd = cmds[1];
	EXPECT_EQ(rd.write_flag, 0);
	EXPECT_EQ(rd.opcode, 8u);
	EXPECT_EQ(rd.flags, 0xB5u);
	EXPECT_EQ(rd.blksz, 512u);
	EXPECT_EQ(rd.blocks, 1u);
	const auto &sw = cmds[2];
	EXPECT_EQ(sw.write_flag, 1);
	EXPECT_EQ(sw.opcode, 6u);
	EXPECT_EQ(sw.arg, 0x03B35001u);
	EXPECT_EQ(sw.flags, 0x49Du);
	EXPECT_EQ(sw.blksz, 0u);
	EXPECT_EQ(sw.blocks, 0u);
}

TEST_F(EmmcBoot, EveryIdReplacesOnlyTheBootEnableField)
{
	for (unsigned initial : {0x00u, 0xFFu, 0x07u, 0xC0u, 0x38u}) {
		for (int id = 0; id <= 2; id++) {
			auto emmc = card(std::to_string(initial));
			ASSERT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), id), 0);
			EXPECT_EQ(emmc->partition_config(), (initial & ~0x38u) | (unsigned(id) << 3))
				<< "initial " << initial << " id " << id;
			EXPECT_EQ(crv_ostrel_get_emmc_boot_part(path_.c_str()), id);
		}
	}
}

TEST_F(EmmcBoot, IdsOutsideTheFieldAreRefusedBeforeTheCardIsTouched)
{
	auto emmc = card("0x48");
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), 3), -1);
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), -1), -1);
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), 0x100), -1);
	EXPECT_EQ(cap.finish(), "invalid boot partition id !\ninvalid boot partition id !\n"
				"invalid boot partition id !\n");
	EXPECT_TRUE(emmc->commands().empty());
	EXPECT_EQ(emmc->partition_config(), 0x48);
}

TEST_F(EmmcBoot, FailuresAreReportedAndNothingIsSwitched)
{
	testsupport::StdoutCapture cap;
	std::string missing = path_ + ".none";
	EXPECT_EQ(crv_ostrel_get_emmc_boot_part(missing.c_str()), -5);
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(missing.c_str(), 1), -5);
	EXPECT_EQ(cap.take(), "open " + missing + " fail !\nopen " + missing + " fail !\n");

	// The EXT_CSD read fails: its result comes back, no switch is sent.
	auto unreadable = card("0x48", "8");
	EXPECT_EQ(crv_ostrel_get_emmc_boot_part(path_.c_str()), -1);
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), 2), -1);
	EXPECT_EQ(unreadable->commands().size(), 2u);
	EXPECT_EQ(unreadable->partition_config(), 0x48);

	// The switch fails: the ioctl's result and its error text.
	auto stuck = card("0x48", "6");
	cap.take();
	EXPECT_EQ(crv_ostrel_set_emmc_boot_part(path_.c_str(), 2), -1);
	EXPECT_EQ(stuck->partition_config(), 0x48);
	EXPECT_EQ(stuck->commands().back().arg, 0x03B35001u);
	cap.finish();
}

} // namespace
