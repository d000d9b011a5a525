// A small program standing in for the firmware programs in tests of the
// start-up device configuration: it issues the ioctls those programs issue,
// with no test code of its own.
//   devsim_probe size <dev> | rrpart <dev> | extcsd <dev> | boot <dev> <part>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	if (argc < 3) {
		fprintf(stderr, "usage: %s size|rrpart|extcsd|boot <dev> [part]\n", argv[0]);
		return 2;
	}
	std::string op = argv[1];
	int fd = open(argv[2], O_RDWR);
	if (fd < 0) {
		printf("open %s: %s\n", argv[2], strerror(errno));
		return 1;
	}
	int rc = 0;
	if (op == "size") {
		uint64_t size = 0;
		rc = ioctl(fd, BLKGETSIZE64, &size);
		printf("size %" PRIu64 "\n", size);
	} else if (op == "rrpart") {
		rc = ioctl(fd, BLKRRPART);
	} else if (op == "extcsd" || op == "boot") {
		unsigned char ext_csd[512];
		mmc_ioc_cmd cmd;
		memset(&cmd, 0, sizeof(cmd));
		cmd.opcode = 8;
		cmd.flags = 0xb5;
		cmd.blksz = 512;
		cmd.blocks = 1;
		mmc_ioc_cmd_set_data(cmd, ext_csd);
		rc = ioctl(fd, MMC_IOC_CMD, &cmd);
		if (rc == 0 && op == "boot" && argc > 3) {
			unsigned value = (ext_csd[179] & ~0x38u) | ((unsigned)atoi(argv[3]) << 3);
			memset(&cmd, 0, sizeof(cmd));
			cmd.write_flag = 1;
			cmd.opcode = 6;
			cmd.arg = 0x03B30001u | (value << 8);
			cmd.flags = 0x49D;
			rc = ioctl(fd, MMC_IOC_CMD, &cmd);
		} else if (rc == 0) {
			printf("partition_config 0x%02x\n", ext_csd[179]);
		}
	}
	if (rc != 0)
		printf("ioctl: %s\n", strerror(errno));
	close(fd);
	return rc == 0 ? 0 : 1;
}
