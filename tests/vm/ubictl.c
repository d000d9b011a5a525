// SPDX-License-Identifier: GPL-2.0
/*
 * Attaches an MTD device to UBI and detaches it again through the UBI
 * control device, for the VM stage's UBI check (busybox has no such applet).
 *
 *   ubictl attach MTD_NUM VID_HDR_OFFSET   prints the new UBI device number
 *   ubictl detach UBI_NUM
 *
 * Built as ubictl (arm64) and ubictl32 (armhf). Exit status 0 on success;
 * on failure the ioctl's error is printed.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <mtd/ubi-user.h>

static int number(const char *s, int *out)
{
	char *end;
	long v;

	errno = 0;
	v = strtol(s, &end, 0);
	if (errno || end == s || *end || v < -1 || v > 0x7fffffff)
		return -1;
	*out = (int)v;
	return 0;
}

int main(int argc, char **argv)
{
	struct ubi_attach_req req;
	int fd, ret, a = 0, b = 0;

	if (!((argc == 4 && !strcmp(argv[1], "attach") && !number(argv[2], &a) && !number(argv[3], &b)) ||
	      (argc == 3 && !strcmp(argv[1], "detach") && !number(argv[2], &a)))) {
		fprintf(stderr, "usage: ubictl attach MTD_NUM VID_HDR_OFFSET | ubictl detach UBI_NUM\n");
		return 2;
	}
	fd = open("/dev/ubi_ctrl", O_RDONLY);
	if (fd < 0) {
		perror("/dev/ubi_ctrl");
		return 1;
	}
	if (argc == 4) {
		memset(&req, 0, sizeof(req));
		req.ubi_num = UBI_DEV_NUM_AUTO;
		req.mtd_num = a;
		req.vid_hdr_offset = b;
		ret = ioctl(fd, UBI_IOCATT, &req);
		if (ret >= 0)
			printf("%d\n", req.ubi_num);
	} else {
		ret = ioctl(fd, UBI_IOCDET, &a);
	}
	if (ret < 0)
		fprintf(stderr, "ubictl %s: %s\n", argv[1], strerror(errno));
	close(fd);
	return ret < 0;
}
