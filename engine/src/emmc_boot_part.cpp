// eMMC boot-partition selection through the MMC pass-through ioctl.

#include "crv_emmc_boot.h"

#include "crv_system.h"
#include "unique_fd.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/mmc/ioctl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kPartitionConfig = 179;
constexpr uint8_t kBootEnableMask = 0x38; // bits 3 to 5
constexpr uint32_t kSwitchWriteByte = 0x03B30001; // access 3, index 179, command set 1
constexpr uint32_t kFlagsR1bNoData = 0x49D;

static_assert(sizeof(mmc_ioc_cmd) == 72, "the MMC pass-through record the kernel expects");
static_assert(MMC_IOC_CMD == 0xC048B300u);

} // namespace

int crv_ostrel_get_emmc_boot_part(const char *dev)
{
	std::array<uint8_t, 512> ext_csd{};
	int ret = crv_ostrel_read_ext_csd(dev, ext_csd.data());
	if (ret != 0)
		return ret;
	return (ext_csd[kPartitionConfig] & kBootEnableMask) >> 3;
}

int crv_ostrel_set_emmc_boot_part(const char *dev, int id)
{
	// A negative id would reach the boot-acknowledge and reserved bits.
	if (id < 0 || id > 2) {
		printf("invalid boot partition id !\n");
		return -1;
	}
	std::array<uint8_t, 512> ext_csd{};
	int ret = crv_ostrel_read_ext_csd(dev, ext_csd.data());
	if (ret != 0)
		return ret;
	const auto value = static_cast<uint8_t>((ext_csd[kPartitionConfig] & ~kBootEnableMask) | (id << 3));

	crv_unique_fd fd(open(dev, O_RDWR | O_CLOEXEC));
	if (fd.get() < 0) {
		printf("open %s fail !\n", dev);
		return -5;
	}
	mmc_ioc_cmd cmd;
	memset(&cmd, 0, sizeof(cmd));
	cmd.write_flag = 1;
	cmd.opcode = 6; // SWITCH
	cmd.arg = kSwitchWriteByte | (static_cast<uint32_t>(value) << 8);
	cmd.flags = kFlagsR1bNoData;
	ret = ioctl(fd.get(), MMC_IOC_CMD, &cmd);
	if (ret != 0)
		perror("ioctl");
	return ret;
}
