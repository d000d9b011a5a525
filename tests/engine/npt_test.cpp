#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_npt.h"

namespace {

using Lines = std::vector<std::string>;

std::string crlf(const Lines &lines)
{
	std::string s;
	for (const auto &l : lines)
		s += l + "\r\n";
	return s;
}

// One table: header lines, title and rows; `end` closes its partition rows.
struct Table {
	std::string chip = "0", nand = "0", size = "0", unit = "128", vol_unit = "1024", name = "main";
	Lines parts{"0,boot,8,,,kernel", "1,rootfs,16"};
	Lines vols{}; // with a volume title when not empty
	bool vol_table = false;

	Lines lines() const
	{
		Lines l{"VERSION,1",       "NAME," + name,        "CHIP," + chip, "NAND," + nand,
			"SIZE," + size,    "UNIT_KB," + unit,     "UNIT_VOL_KB," + vol_unit,
			"ID,NAME,SIZE"};
		l.insert(l.end(), parts.begin(), parts.end());
		if (vol_table || !vols.empty()) {
			l.push_back("KQ58_PART_UBI_VOL_TABLE");
			l.push_back("MTD_IDX,NAME,SIZE,VOL_IDX");
			l.insert(l.end(), vols.begin(), vols.end());
		}
		return l;
	}
};

std::string text_of(const std::vector<Table> &tables)
{
	Lines all{"KQ58_PART_TABLE_START"};
	for (std::size_t i = 0; i < tables.size(); i++) {
		auto l = tables[i].lines();
		all.insert(all.end(), l.begin(), l.end());
		all.push_back(i + 1 < tables.size() ? "KQ58_PART_TABLE_NEXT" : "KQ58_PART_TABLE_END");
	}
	return crlf(all);
}

struct Parsed {
	int ret;
	std::string out;
	std::unique_ptr<crv_npt_ctx> ctx;
};

Parsed parse(const std::string &text)
{
	Parsed p{0, {}, std::make_unique<crv_npt_ctx>()};
	memset(p.ctx.get(), 0, sizeof(crv_npt_ctx));
	EXPECT_LE(text.size(), std::size_t(CRV_NPT_MAX_TEXT));
	memcpy(p.ctx->text, text.data(), std::min(text.size(), std::size_t(CRV_NPT_MAX_TEXT)));
	testsupport::StdoutCapture cap;
	p.ret = crv_npt_parse_text_table(p.ctx.get());
	p.out = cap.finish();
	return p;
}

Lines numbered_rows(int n, const std::string &size = "1")
{
	Lines rows;
	for (int i = 0; i < n; i++)
		rows.push_back(std::to_string(i) + ",p" + std::to_string(i) + "," + size);
	return rows;
}

// Bit by bit, reflected polynomial 0xEDB88320, no inversions.
uint32_t bitwise_crc(uint32_t crc, const uint8_t *p, std::size_t n)
{
	while (n--) {
		crc ^= *p++;
		for (int k = 0; k < 8; k++)
			crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
	}
	return crc;
}

// ---- Well-formed tables ------------------------------------------------------

TEST(NptParse, TakesTheFirstTableThatFitsAndOnlyItsRows)
{
	Table other;
	other.chip = "1234";
	other.name = "other";
	other.parts = numbered_rows(3);
	other.vols = {"0,data,4,0", "2,more,4,1"};
	Table mine;
	mine.chip = "72171"; // 0x119EB
	mine.nand = "16909060"; // 0x01020304
	mine.size = "2048";
	Table later; // fits too, but comes after
	later.name = "later";

	auto p = parse(text_of({other, mine, later}));
	ASSERT_EQ(p.ret, 0) << p.out;
	EXPECT_EQ(p.out, "");
	EXPECT_STREQ(p.ctx->name, "main");
	EXPECT_EQ(p.ctx->chip_id, 0x119EBu);
	EXPECT_EQ(p.ctx->part_count, 2u);
	EXPECT_EQ(p.ctx->vol_count, 0u); // the skipped table's volumes are gone
	EXPECT_STREQ(p.ctx->parts[0].name, "boot");
	EXPECT_EQ(p.ctx->parts[0].size, 8u * 128 * 1024);
	EXPECT_STREQ(p.ctx->parts[1].name, "rootfs");
	EXPECT_EQ(p.ctx->parts[1].size, 16u * 128 * 1024);
	EXPECT_STREQ(p.ctx->part_text[0], "kernel");
	EXPECT_EQ(p.ctx->parts[2].size, 0u);
	EXPECT_EQ(crv_npt_table_matches(p.ctx.get()), 1);
}

TEST(NptParse, ZeroChipNandAndSizeFitAnySetOtherValuesDoNot)
{
	crv_npt_ctx ctx{};
	EXPECT_EQ(crv_npt_table_matches(&ctx), 1);
	ctx.chip_id = 0x119EB;
	ctx.nand_id = 0x01020304;
	ctx.size = 2048;
	EXPECT_EQ(crv_npt_table_matches(&ctx), 1);
	ctx.size = 4096;
	EXPECT_EQ(crv_npt_table_matches(&ctx), 0);
	ctx.size = 0;
	ctx.nand_id = 7;
	EXPECT_EQ(crv_npt_table_matches(&ctx), 0);
	ctx.nand_id = 0;
	ctx.chip_id = 0x119EC;
	EXPECT_EQ(crv_npt_table_matches(&ctx), 0);

	EXPECT_EQ(crv_npt_get_chip_id(), 0x119EBu);
	EXPECT_EQ(crv_npt_get_nand_id(), 0x01020304u);
	EXPECT_EQ(crv_npt_get_nand_size(), 2048u);
	EXPECT_EQ(crv_npt_get_block_size(), 0x20000u);
}

TEST(NptParse, ReadsVolumeRowsAndKeepsLongTextsCut)
{
	Table t;
	t.name = std::string(40, 'n');
	t.parts = {"0,ubi,64,,,first", "1,misc,8,,," + std::string(50, 'x')};
	t.vols = {"0,rootfs,12,0", "0,data,3,254", "1,cfg,1,7"};
	auto p = parse(text_of({t}));
	ASSERT_EQ(p.ret, 0) << p.out;
	EXPECT_EQ(std::string(p.ctx->name), std::string(31, 'n'));
	EXPECT_EQ(std::string(p.ctx->part_text[1]), std::string(31, 'x'));
	ASSERT_EQ(p.ctx->vol_count, 3u);
	EXPECT_EQ(p.ctx->vols[0].part_index, 0u);
	EXPECT_EQ(p.ctx->vols[0].vol_index, 0u);
	EXPECT_STREQ(p.ctx->vols[0].name, "rootfs");
	EXPECT_EQ(p.ctx->vols[0].size, 12u * 1024 * 1024);
	EXPECT_EQ(p.ctx->vols[1].vol_index, 254u);
	EXPECT_EQ(p.ctx->vols[2].part_index, 1u);
	EXPECT_EQ(p.ctx->vols[2].vol_index, 7u);
}

TEST(NptParse, TitlesAreKnownByAnyOfTheirColumns)
{
	for (const char *title : {"ID,x,y", "#,NAME,y", "#,x,SIZE"}) {
		Table t;
		auto l = t.lines();
		l[7] = title;
		l.insert(l.begin(), "KQ58_PART_TABLE_START");
		l.push_back("KQ58_PART_TABLE_END");
		EXPECT_EQ(parse(crlf(l)).ret, 0) << title;
	}
}

TEST(NptParse, NamesOfFifteenCharactersFitSixteenDoNot)
{
	Table t;
	t.parts = {"0," + std::string(15, 'a') + ",1"};
	t.vols = {"0," + std::string(15, 'b') + ",1,0"};
	auto ok = parse(text_of({t}));
	ASSERT_EQ(ok.ret, 0) << ok.out;
	EXPECT_EQ(std::string(ok.ctx->parts[0].name), std::string(15, 'a'));
	EXPECT_EQ(std::string(ok.ctx->vols[0].name), std::string(15, 'b'));

	t.parts = {"0," + std::string(16, 'a') + ",1"};
	auto bad = parse(text_of({t}));
	EXPECT_EQ(bad.ret, -1);
	EXPECT_EQ(bad.out, "npt_err: part name:" + std::string(16, 'a') + " is too long, max 15 byte!\n"
			   "npt_err: error partition: 0 " + std::string(16, 'a') + " 1 \n");
}

TEST(NptParse, BlanksAroundNumbersAreRead)
{
	Table t;
	t.chip = " 0";
	t.size = "2048 ";
	t.unit = "\t128";
	t.parts = {"0 ,boot, 8 ", " 1,rootfs,16"};
	t.vols = {"1, data , 2 , 7 "};
	auto p = parse(text_of({t}));
	ASSERT_EQ(p.ret, 0) << p.out;
	EXPECT_EQ(p.ctx->size, 2048u);
	EXPECT_EQ(p.ctx->parts[0].size, 8u * 128 * 1024);
	EXPECT_EQ(p.ctx->part_count, 2u);
	EXPECT_EQ(p.ctx->vols[0].part_index, 1u);
	EXPECT_EQ(p.ctx->vols[0].vol_index, 7u);
	EXPECT_EQ(p.ctx->vols[0].size, 2u * 1024 * 1024);
}

// ---- Malformed tables ------------------------------------------------------

struct BadCase {
	const char *what;
	int line; // index into the whole text's lines (0 = start token)
	const char *replacement; // nullptr removes the line
	const char *message; // first line printed
	const char *fields; // the "error partition" line's fields
};

void PrintTo(const BadCase &c, std::ostream *os)
{
	*os << c.what;
}

class NptBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(NptBad, FailsWithItsMessageAndTheLine)
{
	const BadCase &c = GetParam();
	Table t;
	t.vols = {"0,vol,1,0", "1,vol2,1,1"};
	Lines all{"KQ58_PART_TABLE_START"};
	auto l = t.lines();
	all.insert(all.end(), l.begin(), l.end());
	all.push_back("KQ58_PART_TABLE_END");
	// 0 start, 1-7 header, 8 title, 9-10 rows, 11 vol token, 12 vol title,
	// 13-14 vol rows, 15 end.
	if (c.replacement)
		all[c.line] = c.replacement;
	else
		all.erase(all.begin() + c.line);
	auto p = parse(crlf(all));
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, std::string(c.message) + "npt_err: error partition: " + c.fields + "\n");
}

const BadCase kBadCases[] = {
	{"start", 0, "KQ58_PART_TABLE_BEGIN", "npt_err: error parsing start token\n", "KQ58_PART_TABLE_BEGIN   "},
	{"no version", 1, nullptr, "npt_err: error parsing version\n", "NAME main  "},
	{"version 2", 1, "VERSION,2", "npt_err: un-supported version\n", "VERSION 2  "},
	{"no name", 2, "NAM,x", "npt_err: error parsing name\n", "NAM x  "},
	{"no chip", 3, "CHIPS,0", "npt_err: error parsing chip id\n", "CHIPS 0  "},
	{"chip not a number", 3, "CHIP,12ab", "npt_err: error parsing chip id\n", "CHIP 12ab  "},
	{"no nand", 4, nullptr, "npt_err: error parsing nand id\n", "SIZE 0  "},
	{"no size", 5, "SIZE", "npt_err: error parsing nand size\n", "SIZE   "},
	{"no unit", 6, nullptr, "npt_err: error parsing unit_kb\n", "UNIT_VOL_KB 1024  "},
	{"unit 3", 6, "UNIT_KB,3", "unit size (KB): 3 is not power of 2!!\n", "UNIT_KB 3  "},
	{"unit 0", 6, "UNIT_KB,0", "unit size (KB): 0 is not power of 2!!\n", "UNIT_KB 0  "},
	{"no vol unit", 7, "UNIT_VOL,4", "npt_err: error parsing unit_vol_kb\n", "UNIT_VOL 4  "},
	{"vol unit 0", 7, "UNIT_VOL_KB,0", "invalid unit vol size (KB): 0\n", "UNIT_VOL_KB 0  "},
	{"title", 8, "IDX,NAMES,SIZES", "npt_err: error parsing table title\n", "IDX NAMES SIZES "},
	{"row id 3 after 0", 10, "3,rootfs,16", "npt_err: error reading part id\n", "3 rootfs 16 "},
	{"row id not a number", 10, "1x,rootfs,16", "npt_err: error reading part id\n", "1x rootfs 16 "},
	{"empty part name", 10, "1,,16", "npt_err: error reading part name\n", "1  16 "},
	{"part size 0", 10, "1,rootfs,0", "npt_err: error reading part size\n", "1 rootfs 0 "},
	{"blank inside a number", 10, "1,rootfs,1 6", "npt_err: error reading part size\n", "1 rootfs 1 6 "},
	{"blanks only", 10, "1,rootfs, ", "npt_err: error reading part size\n", "1 rootfs   "},
	{"part size negative", 10, "1,rootfs,-1", "npt_err: error reading part size\n", "1 rootfs -1 "},
	// 32769 units of 128 KiB wrap 32 bits to 128 KiB
	{"part size wraps", 10, "1,rootfs,32769", "npt_err: error reading part size\n", "1 rootfs 32769 "},
	{"vol title", 12, "IDX,N,S", "npt_err: error parsing vol table title\n", "IDX N S "},
	{"mtd_idx out of range", 14, "2,vol2,1,1", "npt_err: invalid mtd_idx: 2, out of 0~1\n", "2 vol2 1 "},
	{"mtd_idx negative", 14, "-1,vol2,1,1", "npt_err: invalid mtd_idx: -1, out of 0~1\n", "-1 vol2 1 "},
	{"empty vol name", 14, "1,,1,1", "npt_err: error reading vol name\n", "1  1 "},
	{"long vol name", 14, "1,abcdefghijklmnop,1,1",
	 "npt_err: vol name:abcdefghijklmnop is too long, max 15 byte!\n", "1 abcdefghijklmnop 1 "},
	{"vol size 0", 14, "1,vol2,0,1", "npt_err: error reading vol size\n", "1 vol2 0 "},
	{"vol size wraps", 14, "1,vol2,4096,1", "npt_err: error reading vol size\n", "1 vol2 4096 "},
	{"vol_idx 255", 14, "1,vol2,1,255", "npt_err: invalid vol_idx: 255, out of 0~254\n", "1 vol2 1 "},
	{"vol_idx negative", 14, "1,vol2,1,-1", "npt_err: invalid vol_idx: -1, out of 0~254\n", "1 vol2 1 "},
	{"vol_idx missing", 14, "1,vol2,1", "npt_err: invalid vol_idx: 0, out of 0~254\n", "1 vol2 1 "},
	{"truncated after the rows", 11, "", "npt_err: error reading part id\n", "   "},
};

INSTANTIATE_TEST_SUITE_P(Lines, NptBad, ::testing::ValuesIn(kBadCases),
			 [](const auto &info) {
				 std::string n;
				 for (const char *c = info.param.what; *c; c++)
					 n += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
				 return n;
			 });

TEST(NptParse, NoFittingTableFailsAtTheEnd)
{
	Table a, b;
	a.chip = "5";
	b.nand = "6";
	b.vols = {"0,v,1,0"};
	auto p = parse(text_of({a, b}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, "npt_err: no matching partition table\n"
			 "npt_err: error partition: KQ58_PART_TABLE_END   \n");
}

TEST(NptParse, ErrorsInSkippedTablesStillFail)
{
	Table a, b;
	a.chip = "5";
	a.parts = {"0,x,0"};
	auto p = parse(text_of({a, b}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_NE(p.out.find("npt_err: error reading part size\n"), std::string::npos);
}

TEST(NptParse, LineEndsWithoutCrReadAsOneLine)
{
	std::string text = text_of({Table{}});
	std::string lf;
	for (char c : text)
		if (c != '\r')
			lf += c;
	auto p = parse(lf);
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out.substr(0, 36), "npt_err: error parsing start token\n"
				       "n");
}

TEST(NptParse, CrWithoutLfEndsTheText)
{
	auto p = parse("KQ58_PART_TABLE_START\rVERSION,1\rNAME,x\r");
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, "npt_err: error parsing version\nnpt_err: error partition:    \n");
}

TEST(NptParse, EmptyTextFails)
{
	auto p = parse("");
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, "npt_err: error parsing start token\nnpt_err: error partition:    \n");
}

// ---- Bounds -------------------------------------------------------------------

TEST(NptBounds, ThirtyTwoRowsAreTakenWithTheirVolumes)
{
	Table t;
	t.parts = numbered_rows(32);
	t.vols = {"31,last,1,3"};
	auto p = parse(text_of({t}));
	ASSERT_EQ(p.ret, 0) << p.out;
	EXPECT_EQ(p.ctx->part_count, 32u);
	EXPECT_STREQ(p.ctx->parts[31].name, "p31");
	ASSERT_EQ(p.ctx->vol_count, 1u);
	EXPECT_EQ(p.ctx->vols[0].part_index, 31u);
}

TEST(NptBounds, ThirtyTwoRowsOfAnotherChipAreNotTaken)
{
	Table t;
	t.chip = "99";
	t.parts = numbered_rows(32);
	auto p = parse(text_of({t}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_NE(p.out.find("npt_err: no matching partition table\n"), std::string::npos);
}

TEST(NptBounds, ThirtyTwoRowsOfAnotherChipSkippedForTheNextTable)
{
	Table other, mine;
	other.chip = "99";
	other.parts = numbered_rows(32);
	other.vols = numbered_rows(0);
	for (int i = 0; i < 32; i++)
		other.vols.push_back("0,v" + std::to_string(i) + ",1," + std::to_string(i));
	mine.parts = numbered_rows(3);
	auto p = parse(text_of({other, mine}));
	ASSERT_EQ(p.ret, 0) << p.out;
	EXPECT_EQ(p.ctx->part_count, 3u);
	EXPECT_EQ(p.ctx->vol_count, 0u);
}

TEST(NptBounds, AThirtyThirdRowIsRefused)
{
	Table t;
	t.parts = numbered_rows(33);
	auto p = parse(text_of({t}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, "npt_err: too many partitions, max 32\nnpt_err: error partition: 32 p32 1 \n");
	EXPECT_EQ(p.ctx->part_count, 32u);
}

TEST(NptBounds, AThirtyThirdVolumeIsRefused)
{
	Table t;
	for (int i = 0; i < 33; i++)
		t.vols.push_back("1,v" + std::to_string(i) + ",1," + std::to_string(i));
	auto p = parse(text_of({t}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out, "npt_err: too many volumes, max 32\nnpt_err: error partition: 1 v32 1 \n");
	EXPECT_EQ(p.ctx->vol_count, 32u);
}

TEST(NptBounds, AFullLengthTextIsReadWithoutRunningPastIt)
{
	std::string text = text_of({Table{}});
	text += std::string(CRV_NPT_MAX_TEXT - text.size(), 'z');
	ASSERT_EQ(text.size(), std::size_t(CRV_NPT_MAX_TEXT));
	auto ctx = std::make_unique<crv_npt_ctx>();
	memcpy(ctx->text, text.data(), text.size());
	ctx->text[CRV_NPT_MAX_TEXT] = 'z'; // whatever the caller left there
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_npt_parse_text_table(ctx.get()), 0);
	EXPECT_EQ(cap.finish(), "");
	EXPECT_EQ(ctx->part_count, 2u);
}

TEST(NptBounds, AFieldAsLongAsTheTextIsCheckedWhole)
{
	std::string name(3900, 'q');
	Table t;
	t.parts = {"0," + name + ",1"};
	auto p = parse(text_of({t}));
	EXPECT_EQ(p.ret, -1);
	EXPECT_EQ(p.out.rfind("npt_err: part name:" + name + " is too long, max 15 byte!\n", 0), 0u);
}

TEST(NptLines, CutsAtCommasAndMovesPastTheLineFeed)
{
	char text[] = "a,b,,d,e,f,g,h\r\nsecond\r\r\nthird\rnot seen\nlast";
	char fields[CRV_NPT_FIELDS][CRV_NPT_FIELD_SIZE];
	char *cur = text;
	crv_npt_next_line(&cur, fields);
	EXPECT_STREQ(fields[0], "a");
	EXPECT_STREQ(fields[1], "b");
	EXPECT_STREQ(fields[2], "");
	EXPECT_STREQ(fields[3], "d");
	EXPECT_STREQ(fields[5], "f"); // fields past the sixth are dropped
	crv_npt_next_line(&cur, fields);
	EXPECT_STREQ(fields[0], "second");
	EXPECT_STREQ(fields[1], "");
	crv_npt_next_line(&cur, fields);
	EXPECT_STREQ(fields[0], "third");
	crv_npt_next_line(&cur, fields);
	EXPECT_STREQ(fields[0], "last");
	crv_npt_next_line(&cur, fields);
	EXPECT_STREQ(fields[0], "");
	EXPECT_EQ(*cur, '\0');
}

// ---- Binary form ------------------------------------------------------------

TEST(NptBinary, HoldsPartitionsWithOffsetsVolumesAndBothCrcs)
{
	Table t;
	t.unit = "1024";
	t.parts = {"0,first,1", "1,second,2"};
	t.vols = {"1,vol,3,9"};
	auto p = parse(text_of({t}));
	ASSERT_EQ(p.ret, 0) << p.out;

	crv_npt_bin bin;
	memset(&bin, 0xA5, sizeof(bin));
	ASSERT_EQ(crv_npt_to_binary(p.ctx.get(), &bin), 0);
	const auto *b = reinterpret_cast<const uint8_t *>(&bin);
	auto u32 = [&](std::size_t o) { uint32_t v; memcpy(&v, b + o, 4); return v; };
	auto u64 = [&](std::size_t o) { uint64_t v; memcpy(&v, b + o, 8); return v; };

	EXPECT_STREQ(reinterpret_cast<const char *>(b + 0x008), "first");
	EXPECT_EQ(u64(0x018), 1u << 20);
	EXPECT_EQ(u64(0x020), 0u);
	EXPECT_STREQ(reinterpret_cast<const char *>(b + 0x028), "second");
	EXPECT_EQ(u64(0x038), 2u << 20);
	EXPECT_EQ(u64(0x040), 1u << 20);
	EXPECT_EQ(u32(0x408), 1u);
	EXPECT_EQ(u32(0x40C), 9u);
	EXPECT_STREQ(reinterpret_cast<const char *>(b + 0x410), "vol");
	EXPECT_EQ(u64(0x420), 3u * 1024 * 1024);
	for (std::size_t o = 0x048; o < 0x408; o++)
		ASSERT_EQ(b[o], 0) << o;
	for (std::size_t o = 0x428; o < 0x808; o++)
		ASSERT_EQ(b[o], 0) << o;

	EXPECT_EQ(u32(0x000), bitwise_crc(0, b + 8, 0x800));
	EXPECT_EQ(u32(0x004), bitwise_crc(0, b + 8, 0x200));
}

TEST(NptBinary, SecondCrcCoversOnlyTheFirstSixteenPartitions)
{
	Table t;
	t.parts = numbered_rows(20);
	auto p = parse(text_of({t}));
	ASSERT_EQ(p.ret, 0) << p.out;
	crv_npt_bin a, b;
	crv_npt_to_binary(p.ctx.get(), &a);
	p.ctx->parts[17].size *= 2;
	crv_npt_to_binary(p.ctx.get(), &b);
	EXPECT_EQ(a.crc_head, b.crc_head);
	EXPECT_NE(a.crc_all, b.crc_all);
	EXPECT_EQ(b.parts[18].offset, 19u * 128 * 1024); // 18 before, one doubled
}

TEST(NptBinary, CopiesNoMoreThanTheTableHolds)
{
	auto ctx = std::make_unique<crv_npt_ctx>();
	memset(ctx.get(), 0, sizeof(*ctx));
	ctx->part_count = 1000; // a count the parser never leaves
	ctx->vol_count = 1000;
	memset(ctx->parts[0].name, 'x', sizeof(ctx->parts[0].name)); // no terminator
	crv_npt_bin bin;
	EXPECT_EQ(crv_npt_to_binary(ctx.get(), &bin), 0);
	EXPECT_EQ(std::string(bin.parts[0].name), std::string(15, 'x'));
}

} // namespace
