// nand_ubi_flash <mtd device> <ubi image> [raw]: writes a UBI image onto an
// MTD partition through the engine's UBI image writer, as an update does (the
// image flashed with renewed erase-counter headers, the rest formatted, the
// erase counts the partition held kept), so that real flash (nandsim in the
// VM) can be attached by the kernel afterwards. With "raw" the partition is
// erased and the image written as it is, for the kernel's own verdict on an
// image the writer refuses. A test program: nothing ships it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "crv_container.h"
#include "crv_mtd.h"
#include "crv_nand_writer.h"

int main(int argc, char **argv)
{
	if (argc == 4 && strcmp(argv[3], "raw") == 0) {
		crv_mtd_img_handle image{open(argv[2], O_RDONLY), nullptr, 0, -1, 0};
		const int ret = image.fd < 0 ? -2 : crv_mtd_flash_erase(argv[1], 0, 0);
		return ret == 0 && crv_mtd_nand_write_raw_img(argv[1], 0, &image, nullptr, nullptr) == 0 ? 0 : 1;
	}
	if (argc != 3) {
		fprintf(stderr, "usage: %s <mtd device> <ubi image> [raw]\n", argc > 0 ? argv[0] : "nand_ubi_flash");
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
