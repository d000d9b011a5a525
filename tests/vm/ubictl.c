// SPDX-License-Identifier: GPL-2.0
/*
 * Attaches an MTD device to UBI and detaches it again through the UBI
 * control device, and writes into a dynamic volume, for the VM stage's UBI
 * check (busybox has no such applet).
 *
 *   ubictl attach MTD_NUM VID_HDR_OFFSET   prints the new UBI device number
 *   ubictl detach UBI_NUM
 *   ubictl write VOLUME_NODE OFFSET FILE   writes FILE at OFFSET of the
 *                                          volume (direct writes switched on)
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
#include <sys/stat.h>
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

/* Writes the file at the offset of a dynamic volume, as a program using the
 * volume directly does; 0 or 1 after the error. */
static int write_volume(const char *node, const char *offset, const char *file)
{
	struct ubi_set_vol_prop_req prop;
	char *buf = NULL;
	struct stat st;
	int at, vol = -1, in = -1, ret = 1;

	if (number(offset, &at)) {
		fprintf(stderr, "ubictl write: bad offset %s\n", offset);
		return 2;
	}
	in = open(file, O_RDONLY);
	if (in < 0 || fstat(in, &st) || !(buf = malloc(st.st_size ? st.st_size : 1)) ||
	    read(in, buf, st.st_size) != st.st_size) {
		perror(file);
		goto out;
	}
	vol = open(node, O_RDWR);
	memset(&prop, 0, sizeof(prop));
	prop.property = UBI_VOL_PROP_DIRECT_WRITE;
	prop.value = 1;
	if (vol < 0 || ioctl(vol, UBI_IOCSETVOLPROP, &prop) || lseek(vol, at, SEEK_SET) != at ||
	    write(vol, buf, st.st_size) != st.st_size) {
		fprintf(stderr, "ubictl write %s: %s\n", node, strerror(errno));
		goto out;
	}
	ret = 0;
out:
	free(buf);
	if (vol >= 0)
		close(vol);
	if (in >= 0)
		close(in);
	return ret;
}

int main(int argc, char **argv)
{
	struct ubi_attach_req req;
	int fd, ret, a = 0, b = 0;

	if (argc == 5 && !strcmp(argv[1], "write"))
		return write_volume(argv[2], argv[3], argv[4]);
	if (!((argc == 4 && !strcmp(argv[1], "attach") && !number(argv[2], &a) && !number(argv[3], &b)) ||
	      (argc == 3 && !strcmp(argv[1], "detach") && !number(argv[2], &a)))) {
		fprintf(stderr, "usage: ubictl attach MTD_NUM VID_HDR_OFFSET | ubictl detach UBI_NUM | "
				"ubictl write VOLUME_NODE OFFSET FILE\n");
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
