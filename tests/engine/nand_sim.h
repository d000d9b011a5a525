// A simulated raw NAND partition for engine tests: a file of 0xFF pages in a
// temporary folder that stat() reports as /dev/mtd character device and
// whose ioctls reach devmodels::NandFlash. Plain writes through write() are
// programs of the model too (each sub-page once per erase) and can be made to
// fail per block (the suites link with --wrap=write).
#pragma once

#include "devmodels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nandsim {

// Bitwise reflected CRC-32 without inversions: the check the tests hold the
// engine's table-driven one against.
uint32_t crc32_plain(uint32_t crc, const void *buf, size_t len);

uint32_t be32(const std::string &s, size_t at);
uint64_t be64(const std::string &s, size_t at);
void put_be32(std::string &s, size_t at, uint32_t v);
void put_be64(std::string &s, size_t at, uint64_t v);

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &data);
std::string random_bytes(size_t n, unsigned seed);

class NandTest : public ::testing::Test {
protected:
	void SetUp() override;
	void TearDown() override;

	// A flash of `blocks` erase blocks, erased; parameters as NandFlash takes
	// them ("bad", "nobbt", "writesize", ...).
	std::shared_ptr<devmodels::NandFlash> make_nand(int blocks, const devmodels::Params &params = {},
							 const std::string &name = "mtd5");
	// Let plain page writes into the model's fail_write blocks fail.
	void fail_plain_writes(bool on);
	// Gives mtd5 the kernel's sysfs entries ({file, value}) in a mount
	// namespace of this test's own until it ends; false when that cannot be
	// had (not root).
	bool fake_sysfs(std::initializer_list<std::pair<const char *, std::string>> entries);

	std::string flash() const { return read_file(path_); }
	std::string block_bytes(int block) const;

	std::string dir_;
	std::string path_;
	uint32_t eb_ = 0;
	uint32_t page_ = 0;
	std::shared_ptr<devmodels::NandFlash> nand_;
	bool sysfs_faked_ = false;
};

} // namespace nandsim
