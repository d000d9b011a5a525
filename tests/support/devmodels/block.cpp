#include "devmodels.h"

#include "devsim.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <sys/stat.h>

namespace devmodels {

BlockDevice::BlockDevice(const Params &params)
	: Model(params), size_(params.get_u64("size")), rrpart_errno_(static_cast<int>(params.get_u64("rrpart_errno")))
{
}

int BlockDevice::rereads() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return rereads_;
}

uint64_t BlockDevice::size_for(int fd) const
{
	if (size_ != 0)
		return size_;
	struct stat st;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
		return static_cast<uint64_t>(st.st_size);
	return 0;
}

int BlockDevice::ioctl(int fd, unsigned long request, void *arg)
{
	std::lock_guard<std::mutex> guard(lock_);
	switch (request) {
	case BLKGETSIZE64: {
		uint64_t size = size_for(fd);
		event("BLKGETSIZE64 " + std::to_string(size));
		if (!arg) {
			errno = EFAULT;
			return -1;
		}
		memcpy(arg, &size, sizeof(size));
		return 0;
	}
	case BLKRRPART:
		++rereads_;
		event("BLKRRPART");
		if (rrpart_errno_ != 0) {
			errno = rrpart_errno_;
			return -1;
		}
		return 0;
	case BLKFLSBUF:
		event("BLKFLSBUF");
		return 0;
	default:
		return devsim::kPass;
	}
}

Emmc::Emmc(const Params &params) : BlockDevice(params)
{
	ext_csd_[kPartitionConfig] = static_cast<uint8_t>(params.get_u64("partition_config"));
	uint64_t sectors = params.get_u64("sec_count", params.get_u64("size") / 512);
	for (int i = 0; i < 4; ++i)
		ext_csd_[kSecCount + i] = static_cast<uint8_t>(sectors >> (8 * i));
	if (params.has("fail_opcode"))
		fail_opcode_ = static_cast<long>(params.get_u64("fail_opcode"));
	real_block_ = params.get_u64("real_block") != 0;
}

uint8_t Emmc::partition_config() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return ext_csd_[kPartitionConfig];
}

std::array<uint8_t, 512> Emmc::ext_csd() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return ext_csd_;
}

void Emmc::set_ext_csd(int index, uint8_t value)
{
	std::lock_guard<std::mutex> guard(lock_);
	ext_csd_.at(static_cast<size_t>(index)) = value;
}

std::vector<Emmc::Command> Emmc::commands() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return commands_;
}

// Called with lock_ held.
int Emmc::command(void *raw)
{
	auto *cmd = static_cast<mmc_ioc_cmd *>(raw);
	commands_.push_back({cmd->write_flag, cmd->opcode, cmd->arg, cmd->flags, cmd->blksz, cmd->blocks});
	char text[96];
	snprintf(text, sizeof(text), "CMD%" PRIu32 " arg=0x%08" PRIx32 " flags=0x%" PRIx32, cmd->opcode, cmd->arg,
		 cmd->flags);
	event(text);
	if (fail_opcode_ >= 0 && cmd->opcode == static_cast<uint32_t>(fail_opcode_)) {
		errno = EIO;
		return -1;
	}
	switch (cmd->opcode) {
	case 8: { // SEND_EXT_CSD
		if (cmd->write_flag || cmd->blksz != 512 || cmd->blocks != 1 || cmd->data_ptr == 0) {
			errno = EINVAL;
			return -1;
		}
		memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(cmd->data_ptr)), ext_csd_.data(), 512);
		cmd->response[0] = 0x900; // card state "tran", ready for data
		return 0;
	}
	case 6: { // SWITCH
		unsigned access = (cmd->arg >> 24) & 0x3;
		unsigned index = (cmd->arg >> 16) & 0xff;
		auto value = static_cast<uint8_t>(cmd->arg >> 8);
		uint8_t &byte = ext_csd_[index];
		if (access == 1)
			byte |= value;
		else if (access == 2)
			byte &= static_cast<uint8_t>(~value);
		else if (access == 3)
			byte = value;
		else {
			errno = EINVAL;
			return -1;
		}
		snprintf(text, sizeof(text), "EXT_CSD[%u]=0x%02x", index, byte);
		event(text);
		cmd->response[0] = 0x900;
		return 0;
	}
	default:
		errno = EINVAL;
		return -1;
	}
}

int Emmc::ioctl(int fd, unsigned long request, void *arg)
{
	if (request == MMC_IOC_CMD || request == MMC_IOC_MULTI_CMD) {
		std::lock_guard<std::mutex> guard(lock_);
		if (!arg) {
			errno = EFAULT;
			return -1;
		}
		if (request == MMC_IOC_CMD)
			return command(arg);
		auto *multi = static_cast<mmc_ioc_multi_cmd *>(arg);
		if (multi->num_of_cmds > MMC_IOC_MAX_CMDS) {
			errno = EINVAL;
			return -1;
		}
		for (uint64_t i = 0; i < multi->num_of_cmds; ++i)
			if (command(&multi->cmds[i]) != 0)
				return -1;
		return 0;
	}
	if (real_block_)
		return devsim::kPass;
	return BlockDevice::ioctl(fd, request, arg);
}

CRV_DEVMODEL("block", BlockDevice);
CRV_DEVMODEL("emmc", Emmc);

} // namespace devmodels
