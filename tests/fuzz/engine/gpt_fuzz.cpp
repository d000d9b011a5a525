// The GPT partition list: read from its text, sizes of 0 given the rest of
// the disk, the table written to a disk and printed back from it.
#include "crvgpt.h"
#include "fuzz_file.h"

namespace {
MemFile *list;
MemFile *disk;
MemFile *disk_size;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	list = new MemFile("list");
	disk = new MemFile("disk");
	disk_size = new MemFile("size");
	static const char kSectors[] = "4194304\n";	/* a 2 GiB disk */
	disk_size->set(reinterpret_cast<const uint8_t *>(kSectors), sizeof(kSectors) - 1);
	crvgpt_set_size_path_for_test(disk_size->path());
	crvgpt_set_dev_path(disk->path());
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	list->set(data, size);
	disk->set(nullptr, 0);
	crvgpt_part_info entries[CRVGPT_MAX_PART_ENTRIES] = {};
	int count = 0;
	if (crv_parse_gpt_text_tbl(list->path(), entries, &count) == 0) {
		crvgpt_gen_dram_part_tbl(entries, count);
		if (crvgpt_write_gpt(entries, count) == 0)
			crvgpt_dump_gpt();
		crvgpt_free_part_list(entries, count);
	}
	return 0;
}
