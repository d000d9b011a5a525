// nand_ubi_flash <mtd device> <ubi image>: writes a UBI image onto an MTD
// partition through the engine's UBI image writer, as an update does (the
// image flashed with renewed erase-counter headers, the rest formatted, the
// erase counts the partition held kept), so that real flash (nandsim in the
// VM) can be attached by the kernel afterwards. A test program: nothing ships it.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "crv_container.h"
#include "crv_nand_writer.h"

int main(int argc, char **argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: %s <mtd device> <ubi image>\n", argc > 0 ? argv[0] : "nand_ubi_flash");
		return 2;
	}
	crv_per_img_hdr hdr{};
	if (strlen(argv[1]) >= sizeof(hdr.target)) {
		fprintf(stderr, "%s: device path too long\n", argv[1]);
		return 2;
	}
	FILE *image = fopen(argv[2], "rb");
	struct stat st;
	if (image == nullptr || fstat(fileno(image), &st) != 0) {
		perror(argv[2]);
		return 2;
	}
	memcpy(hdr.magic, "PIMG", 4);
	memcpy(hdr.name, "ubi", 3);
	memcpy(hdr.target, argv[1], strlen(argv[1]));
	hdr.length = static_cast<uint64_t>(st.st_size);
	crv_per_img_handle handle{image, hdr.length, 0};
	const int ret = crv_ostrel_nand_ubi_img_update_cb(&hdr, &handle, nullptr);
	printf("crv_ostrel_nand_ubi_img_update_cb: %d\n", ret);
	return ret == 0 ? 0 : 1;
}
