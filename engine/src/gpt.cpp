// GUID partition table writer and printer.

#include "crvgpt.h"

#include "crc32_table.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <uuid/uuid.h>

namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kFirstPartLba = 2048;   // 34 + 2014
constexpr uint64_t kEntryArrayLbas = 32;   // 128 entries x 128 bytes
constexpr uint64_t kReservedSectors = 2081; // LBA 0..2047 plus the 33 backup sectors
constexpr size_t kNameBytes = 72;
constexpr const char *kDefaultSizePath = "/sys/class/block/mmcblk0/size";

struct __attribute__((packed)) gpt_header {
	char sign[8];
	uint32_t version;
	uint32_t gpt_hdr_sz;
	uint32_t gpt_hdr_crc;
	uint32_t reserved;
	uint64_t gpt_lba;
	uint64_t backup_gpt_lba;
	uint64_t part_area_start_lba;
	uint64_t part_area_end_lba;
	uint8_t disk_guid[16];
	uint64_t part_tbl_start_lba;
	uint32_t num_of_part_entry;
	uint32_t part_entry_sz;
	uint32_t part_tbl_crc;
};
static_assert(sizeof(gpt_header) == 92);
static_assert(offsetof(gpt_header, gpt_lba) == 24);
static_assert(offsetof(gpt_header, disk_guid) == 56);
static_assert(offsetof(gpt_header, part_tbl_start_lba) == 72);
static_assert(offsetof(gpt_header, part_tbl_crc) == 88);

struct __attribute__((packed)) gpt_entry {
	uint8_t type_guid[16];
	uint8_t unique_guid[16];
	uint64_t first_lba;
	uint64_t last_lba;
	uint64_t attributes;
	uint8_t name[kNameBytes];
};
static_assert(sizeof(gpt_entry) == 128);
static_assert(offsetof(gpt_entry, first_lba) == 32);
static_assert(offsetof(gpt_entry, name) == 56);

// Linux file-system data, in the table's mixed-endian byte order.
constexpr uint8_t kLinuxDataGuid[16] = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
					0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};

// One table is built at a time, in these buffers.
std::array<uint8_t, kSector> g_mbr;
std::array<uint8_t, kSector> g_hdr_sector;
std::array<uint8_t, kSector> g_backup_sector;
std::array<gpt_entry, CRVGPT_MAX_PART_ENTRIES> g_entries;
static_assert(sizeof(g_entries) == 16384);

std::string g_dev_path;
std::string g_size_path = kDefaultSizePath;

gpt_header *hdr_of(std::array<uint8_t, kSector> &sector)
{
	return reinterpret_cast<gpt_header *>(sector.data());
}

void header_crc(gpt_header *h)
{
	h->gpt_hdr_crc = 0;
	h->gpt_hdr_crc = crvgpt_crc32(0, h, sizeof(*h));
}

void build_mbr(uint64_t sectors)
{
	g_mbr.fill(0);
	static constexpr uint8_t kRecord[8] = {0x00, 0xFE, 0xFF, 0xFF, 0xEE, 0xFE, 0xFF, 0xFF};
	memcpy(&g_mbr[446], kRecord, sizeof(kRecord));
	uint32_t start = 1;
	uint32_t count = static_cast<uint32_t>(sectors - 1);
	memcpy(&g_mbr[454], &start, 4);
	memcpy(&g_mbr[458], &count, 4);
	g_mbr[510] = 0x55;
	g_mbr[511] = 0xAA;
}

void build_primary_header(uint64_t sectors)
{
	g_hdr_sector.fill(0);
	gpt_header *h = hdr_of(g_hdr_sector);
	memcpy(h->sign, "EFI PART", 8);
	h->version = 0x00010000;
	h->gpt_hdr_sz = sizeof(gpt_header);
	h->gpt_lba = 1;
	h->backup_gpt_lba = sectors - 1;
	h->part_area_start_lba = 34;
	h->part_area_end_lba = sectors - 34;
	uuid_generate(h->disk_guid);
	h->part_tbl_start_lba = 2;
	h->num_of_part_entry = CRVGPT_MAX_PART_ENTRIES;
	h->part_entry_sz = sizeof(gpt_entry);
}

// Number of leading entries that carry a name, at most count and the table.
int named_entries(const crvgpt_part_info *entries, int count)
{
	int n = 0;
	while (n < count && n < CRVGPT_MAX_PART_ENTRIES && entries[n].name)
		n++;
	return n;
}

void print_guid(const char *label, const uint8_t *guid)
{
	printf("%s", label);
	for (int i = 0; i < 16; i++)
		printf("%02X", guid[i]);
	printf("\n");
}

} // namespace

uint32_t crvgpt_crc32(uint32_t crc, const void *buf, size_t len)
{
	return ~crv_crc32_raw(~crc, static_cast<const uint8_t *>(buf), len);
}

int crvgpt_str_to_utf16(const char *str, uint8_t *out, size_t out_size)
{
	memset(out, 0, out_size);
	size_t len = strlen(str);
	if (out_size < len * 2) {
		printf("outbuf length not enough ! \n");
		return -1;
	}
	for (size_t i = 0; i < len; i++)
		out[2 * i] = static_cast<uint8_t>(str[i]);
	return 0;
}

int crvgpt_utf16_to_str(const uint8_t *utf16, char *out, size_t len)
{
	memset(out, 0, len);
	for (size_t i = 0; i < len / 2; i++) {
		if (utf16[2 * i] == 0 && utf16[2 * i + 1] == 0)
			break;
		out[i] = static_cast<char>(utf16[2 * i]);
	}
	return 0;
}

uint64_t crvgpt_get_dev_max_sectors(void)
{
	FILE *fp = fopen(g_size_path.c_str(), "re");
	if (!fp) {
		printf("%s open emmc info path fail !\n", __func__);
		return 0;
	}
	char buf[129] = {};
	size_t n = fread(buf, 1, 128, fp);
	fclose(fp);
	buf[n] = '\0';
	return strtoull(buf, nullptr, 10);
}

void crvgpt_free_part_list(crvgpt_part_info *entries, int count)
{
	if (!entries)
		return;
	for (int i = 0; i < count && i < CRVGPT_MAX_PART_ENTRIES; i++) {
		free(entries[i].name);
		entries[i].name = nullptr;
		entries[i].size = 0;
	}
}

int crv_parse_gpt_text_tbl(const char *path, crvgpt_part_info *entries, int *count)
{
	if (!path || !entries || !count) {
		printf("%s invalid parameters !\n", __func__);
		return -1;
	}
	FILE *fp = fopen(path, "re");
	if (!fp) {
		printf("%s open partition list file %s fail !\n", __func__, path);
		return -1;
	}
	for (int i = 0; i < CRVGPT_MAX_PART_ENTRIES; i++)
		entries[i] = {nullptr, 0};

	int n = 0;
	int rc = 0;
	char line[1024];
	while (fgets(line, sizeof(line), fp)) {
		size_t len = strlen(line);
		// A full buffer without a line end is a longer line, unless the
		// file ends right there.
		if (len == sizeof(line) - 1 && line[len - 1] != '\n' && ungetc(getc(fp), fp) != EOF) {
			printf("%s partition list line too long !\n", __func__);
			rc = -1;
			break;
		}
		if (line[0] == '#')
			continue;
		char *semi = strchr(line, ';');
		if (!semi) {
			// Blank lines carry nothing; any other line without ";" is
			// not a partition and the list is refused.
			if (strspn(line, " \t\r\n") == len)
				continue;
			printf("%s invalid partition line %s !\n", __func__, line);
			rc = -1;
			break;
		}
		if (n == CRVGPT_MAX_PART_ENTRIES) {
			printf("%s partition list %s has more than %d entries !\n", __func__, path,
			       CRVGPT_MAX_PART_ENTRIES);
			rc = -1;
			break;
		}
		// A size is a decimal number, blanks and the line end around it
		// allowed; anything else would silently read as 0, "the rest".
		const char *digits = semi + 1 + strspn(semi + 1, " \t");
		char *end = nullptr;
		unsigned long long size = strtoull(digits, &end, 10);
		if (!isdigit(static_cast<unsigned char>(*digits)) || end[strspn(end, " \t\r\n")] != '\0') {
			printf("%s invalid partition size in line %s !\n", __func__, line);
			rc = -1;
			break;
		}
		if (size > UINT32_MAX) {
			printf("%s partition size %llu too large !\n", __func__, size);
			rc = -1;
			break;
		}
		*semi = '\0';
		entries[n].name = strdup(line);
		if (!entries[n].name) {
			rc = -1;
			break;
		}
		entries[n].size = static_cast<uint32_t>(size);
		n++;
	}
	fclose(fp);
	if (rc != 0) {
		crvgpt_free_part_list(entries, n);
		*count = 0;
		return rc;
	}
	*count = n;
	return 0;
}

void crvgpt_gen_dram_part_tbl(crvgpt_part_info *entries, int count)
{
	uint64_t sectors = crvgpt_get_dev_max_sectors();
	uint64_t remain = sectors > kReservedSectors ? sectors - kReservedSectors : 0;
	int n = named_entries(entries, count);
	for (int i = 0; i < n; i++) {
		if (entries[i].size == 0)
			entries[i].size = static_cast<uint32_t>(remain > UINT32_MAX ? UINT32_MAX : remain);
		// An entry larger than what is left empties the remainder; the
		// writer then refuses the table as too large.
		remain = entries[i].size > remain ? 0 : remain - entries[i].size;
	}
}

void crvgpt_set_dev_path(const char *path)
{
	g_dev_path = path ? path : "";
}

const char *crvgpt_get_dev_path(void)
{
	return g_dev_path.c_str();
}

void crvgpt_set_size_path_for_test(const char *path)
{
	g_size_path = path ? path : kDefaultSizePath;
}

int crvgpt_write_gpt(crvgpt_part_info *entries, int count)
{
	if (count > CRVGPT_MAX_PART_ENTRIES || count < 0) {
		printf("%s entry count %d large than max gpt entry count !\n", __func__, count);
		return -1;
	}
	uint64_t sectors = crvgpt_get_dev_max_sectors();
	if (sectors == 0) {
		printf("%s get max sectors fail !\n", __func__);
		return -1;
	}
	int n = entries ? named_entries(entries, count) : 0;
	uint64_t sum = 0;
	for (int i = 0; i < n; i++)
		sum += entries[i].size;
	if (sectors <= kReservedSectors || sum > sectors - kReservedSectors) {
		printf("%s partition table large than device, abort update partition table !\n",
		       __func__);
		return -1;
	}

	build_mbr(sectors);
	build_primary_header(sectors);
	g_entries.fill(gpt_entry{});
	g_backup_sector = g_hdr_sector;

	const uint64_t last_usable = sectors - 34;
	uint64_t start = kFirstPartLba;
	for (int i = 0; i < n; i++) {
		gpt_entry &e = g_entries[i];
		if (start > last_usable) {
			printf("%s partition %s starts past the end of the device !\n", __func__,
			       entries[i].name);
			return -1;
		}
		memcpy(e.type_guid, kLinuxDataGuid, 16);
		uuid_generate(e.unique_guid);
		e.first_lba = start;
		e.attributes = 0;
		if (crvgpt_str_to_utf16(entries[i].name, e.name, kNameBytes) != 0) {
			printf("%s cover part name %s fail !\n", __func__, entries[i].name);
			return -1;
		}
		if (entries[i].size == 0) {
			e.last_lba = last_usable;
			break;
		}
		e.last_lba = start + entries[i].size - 1;
		start += entries[i].size;
	}

	uint32_t tbl_crc = crvgpt_crc32(0, g_entries.data(), sizeof(g_entries));
	gpt_header *primary = hdr_of(g_hdr_sector);
	primary->part_tbl_crc = tbl_crc;
	header_crc(primary);

	gpt_header *backup = hdr_of(g_backup_sector);
	backup->gpt_lba = sectors - 1;
	backup->backup_gpt_lba = 1;
	backup->part_tbl_start_lba = sectors - 1 - kEntryArrayLbas;
	backup->part_tbl_crc = tbl_crc;
	header_crc(backup);

	FILE *fp = fopen(g_dev_path.c_str(), "rb+e");
	if (!fp) {
		printf("%s open emmc device node fail !\n", __func__);
		return -1;
	}
	int rc = -1;
	if (fwrite(g_mbr.data(), 1, kSector, fp) != kSector) {
		printf("%s write protect mbr fail !\n", __func__);
	} else if (fwrite(g_hdr_sector.data(), 1, kSector, fp) != kSector) {
		printf("%s write gpt header fail !\n", __func__);
	} else if (fwrite(g_entries.data(), 1, sizeof(g_entries), fp) != sizeof(g_entries)) {
		printf("%s write gpt part tbl fail !\n", __func__);
	} else if (fseeko(fp, static_cast<off_t>((sectors - 33) * kSector), SEEK_SET) != 0) {
		printf("%s seek to backup tbl fail,%s !\n", __func__, strerror(errno));
	} else if (fwrite(g_entries.data(), 1, sizeof(g_entries), fp) != sizeof(g_entries)) {
		printf("%s write backup tbl fail !\n", __func__);
	} else if (fseeko(fp, static_cast<off_t>((sectors - 1) * kSector), SEEK_SET) != 0) {
		printf("%s seek to backup gpt header fail !\n", __func__);
	} else if (fwrite(g_backup_sector.data(), 1, kSector, fp) != kSector) {
		printf("%s write back up gpt header fail !\n", __func__);
	} else if (fflush(fp) != 0 || fsync(fileno(fp)) != 0) {
		// The table is reported written only once it reached the device.
		printf("%s sync emmc device fail !\n", __func__);
	} else {
		rc = 0;
	}
	if (fclose(fp) != 0 && rc == 0) {
		printf("%s sync emmc device fail !\n", __func__);
		rc = -1;
	}
	return rc;
}

void crvgpt_dump_gpt(void)
{
	FILE *fp = fopen(g_dev_path.c_str(), "rbe");
	if (!fp) {
		printf("%s open emmc device node fail !\n", __func__);
		return;
	}
	std::array<uint8_t, kSector> mbr{};
	if (fread(mbr.data(), 1, kSector, fp) != kSector) {
		printf("%s read mbr entry fail !\n", __func__);
		fclose(fp);
		return;
	}
	if (mbr[510] != 0x55 || mbr[511] != 0xAA) {
		printf("invalid mbr entry\n");
	} else {
		const uint8_t *r = &mbr[446];
		uint32_t start_lba, count;
		memcpy(&start_lba, r + 8, 4);
		memcpy(&count, r + 12, 4);
		printf("=====protect MBR=====\n");
		printf("boot flag : 0x%x\n", r[0]);
		printf("start_chs : 0x%02x 0x%02x 0x%02x\n", r[1], r[2], r[3]);
		printf("part type : 0x%02x\n", r[4]);
		printf("end_chs : 0x%02x 0x%02x 0x%02x\n", r[5], r[6], r[7]);
		printf("start lba : 0x%x\n", start_lba);
		printf("sz in sector : %d\n", static_cast<int>(count));
	}

	std::array<uint8_t, kSector> sector{};
	if (fread(sector.data(), 1, kSector, fp) != kSector) {
		printf("%s read gpt header fail !\n", __func__);
		fclose(fp);
		return;
	}
	gpt_header h;
	memcpy(&h, sector.data(), sizeof(h));
	printf("=====gpt header=====\n");
	printf("gpt hdr sign : %.8s\n", h.sign);
	printf("version : 0x%x\n", h.version);
	printf("gpt_hdr_sz : 0x%x\n", h.gpt_hdr_sz);
	printf("gpt_hdr_crc : 0x%x\n", h.gpt_hdr_crc);
	printf("gpt_lba : %llu\n", static_cast<unsigned long long>(h.gpt_lba));
	printf("backup gpt_lba : %llu\n", static_cast<unsigned long long>(h.backup_gpt_lba));
	printf("part_area_start_lba : %llu\n", static_cast<unsigned long long>(h.part_area_start_lba));
	printf("part_area_end_lba : %llu\n", static_cast<unsigned long long>(h.part_area_end_lba));
	print_guid("disk_guid:", h.disk_guid);
	printf("part_tbl_start_lba : %llu\n", static_cast<unsigned long long>(h.part_tbl_start_lba));
	printf("num_of_part_entry : %d\n", static_cast<int>(h.num_of_part_entry));
	printf("part_entry_sz : %d\n", static_cast<int>(h.part_entry_sz));
	printf("part_tbl_crc : 0x%x\n", h.part_tbl_crc);
	gpt_header calc = h;
	calc.gpt_hdr_crc = 0;
	printf("calc hdr crc = 0x%x\n", crvgpt_crc32(0, &calc, sizeof(calc)));

	std::array<gpt_entry, CRVGPT_MAX_PART_ENTRIES> table{};
	if (fread(table.data(), 1, sizeof(table), fp) != sizeof(table)) {
		printf("%s read gpt part entrys fail !\n", __func__);
		fclose(fp);
		return;
	}
	static constexpr uint8_t kZero[16] = {};
	for (int i = 0; i < CRVGPT_MAX_PART_ENTRIES; i++) {
		const gpt_entry &e = table[i];
		if (memcmp(e.type_guid, kZero, 16) == 0)
			continue;
		char name[kNameBytes] = {};
		crvgpt_utf16_to_str(e.name, name, kNameBytes);
		printf("===========part entry %d===============\n", i + 1);
		print_guid("part type guid:", e.type_guid);
		print_guid("unique part guid:", e.unique_guid);
		printf("start lba : %llu\n", static_cast<unsigned long long>(e.first_lba));
		printf("end lba : %llu\n", static_cast<unsigned long long>(e.last_lba));
		printf("part attribute : 0x%llx\n", static_cast<unsigned long long>(e.attributes));
		printf("part name : %s\n", name);
		printf("=========================================\n");
	}
	printf("part table crc = 0x%x\n", crvgpt_crc32(0, table.data(), sizeof(table)));
	fclose(fp);
}
