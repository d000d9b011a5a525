// Device models behind the simulated ioctl layer (devsim.h).
//
// A model is a class derived from devmodels::Model that answers the ioctls of
// one kind of device and records what it was asked in an event log. Tests use
// models in two ways:
//   - in process: `auto emmc = devmodels::install<devmodels::Emmc>("/dev/mmcblk0");`
//     then drive the code under test and inspect `emmc->...` / `emmc->events()`;
//   - in a whole program: the program is linked with crv_devsim_program()
//     (see CMakeLists.txt); at start-up it reads the file named by the
//     environment variable CRV_DEVSIM and installs the models listed there:
//         # path          model  parameters (key=value)
//         /dev/mmcblk0    emmc   size=8388608 log=/tmp/emmc.log partition_config=0x48
//         /dev/block/sda  block  log=/tmp/sda.log
//     Each model appends its events, one per line, to its "log" file, which
//     the test reads afterwards.
//
// Adding a model (MTD, UBI, framebuffer, evdev, ...):
//   1. derive from Model (or from BlockDevice for a block device), override
//      ioctl(), call event("...") for everything a test may want to check,
//      return kPass (devsim.h) for requests the model does not simulate;
//   2. give it a constructor from `const Params &` reading its parameters with
//      Params::get_u64()/get() (unknown keys are ignored);
//   3. register it for configuration files with, in its .cpp file:
//         CRV_DEVMODEL("name", ClassName);
//   4. add the .cpp file to crv_devmodels in CMakeLists.txt and a test.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace devmodels {

// Parameters of a model, as given in a configuration line.
class Params {
public:
	Params() = default;
	Params(std::initializer_list<std::pair<const std::string, std::string>> values) : values_(values) {}

	bool has(const std::string &key) const { return values_.count(key) != 0; }
	std::string get(const std::string &key, const std::string &fallback = "") const;
	// Accepts decimal, 0x-prefixed hex and a K/M/G suffix (powers of 1024).
	// A value that does not parse gives the fallback.
	uint64_t get_u64(const std::string &key, uint64_t fallback = 0) const;
	void set(const std::string &key, const std::string &value) { values_[key] = value; }

private:
	std::map<std::string, std::string> values_;
};

class Model {
public:
	explicit Model(const Params &params = {});
	virtual ~Model() = default;
	Model(const Model &) = delete;
	Model &operator=(const Model &) = delete;

	// Handles an ioctl on a descriptor opened on the model's path. Returns the
	// result (-1 with errno set for a failure) or devsim::kPass.
	virtual int ioctl(int fd, unsigned long request, void *arg) = 0;

	// Everything the model recorded, oldest first.
	std::vector<std::string> events() const;
	// Also append each event as a line to this file (created if missing).
	void set_log(const std::string &path);

protected:
	void event(const std::string &text);
	mutable std::mutex lock_;

private:
	std::vector<std::string> events_;
	std::string log_path_;
};

// A block device. Its size is the "size" parameter when given, otherwise the
// size of whatever the descriptor is opened on (a regular file standing in for
// the device). Events: "BLKGETSIZE64 <bytes>", "BLKRRPART", "BLKFLSBUF".
// Parameter "rrpart_errno": BLKRRPART fails with this errno (e.g. 16 = EBUSY).
class BlockDevice : public Model {
public:
	explicit BlockDevice(const Params &params = {});
	int ioctl(int fd, unsigned long request, void *arg) override;

	int rereads() const;

protected:
	uint64_t size_for(int fd) const;

private:
	uint64_t size_ = 0;
	int rrpart_errno_ = 0;
	int rereads_ = 0;
};

// The whole-card node of an eMMC: a block device that also answers the MMC
// pass-through command MMC_IOC_CMD (and MMC_IOC_MULTI_CMD).
//   opcode 8 (SEND_EXT_CSD): copies the 512-byte EXT_CSD into the data buffer;
//   opcode 6 (SWITCH): applies the access mode of its argument (1 set bits,
//   2 clear bits, 3 write byte) to EXT_CSD[index].
// Other opcodes fail with EINVAL. Events: "CMD<opcode> arg=0x<arg 8 hex
// digits> flags=0x<flags hex>" for every command, then for a switch
// "EXT_CSD[<index>]=0x<new value 2 hex digits>".
// Parameters: "partition_config" (initial byte 179), "sec_count" (bytes
// 212-215, defaults to size / 512), "fail_opcode" (a command with this opcode
// fails with EIO), "real_block" (1: every other ioctl reaches the real device,
// for a real block device standing in for the card).
class Emmc : public BlockDevice {
public:
	static constexpr int kPartitionConfig = 179;
	static constexpr int kSecCount = 212;

	explicit Emmc(const Params &params = {});
	int ioctl(int fd, unsigned long request, void *arg) override;

	uint8_t partition_config() const;
	std::array<uint8_t, 512> ext_csd() const;
	void set_ext_csd(int index, uint8_t value);

	struct Command {
		int write_flag;
		uint32_t opcode;
		uint32_t arg;
		uint32_t flags;
		uint32_t blksz;
		uint32_t blocks;
	};
	std::vector<Command> commands() const;

private:
	int command(void *cmd);

	std::array<uint8_t, 512> ext_csd_{};
	std::vector<Command> commands_;
	long fail_opcode_ = -1;
	bool real_block_ = false;
};

// The character device of an MTD flash (/dev/mtdN), backed by whatever the
// descriptor is opened on (a regular file standing in for the flash). Reads,
// writes and seeks reach that file directly; the model answers
//   MEMGETINFO: {type, flags, size, erasesize, writesize, oobsize};
//   MEMERASE:   the checks the kernel's RAM-backed test device makes (EPERM on
//               a descriptor opened read-only, EINVAL when the range runs past
//               the end or does not lie on erase-block boundaries), then the
//               range reads as 0xFF.
// Events: "MEMGETINFO", "MEMERASE start=0x<hex> len=0x<hex>" with " lock=<c>"
// appended when a lock switch is watched (its first character at the time of
// the erase, "-" when it cannot be read), and "MEMERASE refused errno=<n>".
// Parameters: "type" (default 3, NOR; 4 is NAND, 8 MLC NAND), "size"
// (default: the backing file's size), "erasesize" (default 64K), "writesize"
// (default 1), "oobsize" (default 0), "fail_erase" (every erase fails with
// this errno), "lock" (path of the switch to watch).
class MtdFlash : public Model {
public:
	static constexpr uint8_t kNor = 3;
	static constexpr uint8_t kNand = 4;
	static constexpr uint8_t kMlcNand = 8;

	explicit MtdFlash(const Params &params = {});
	int ioctl(int fd, unsigned long request, void *arg) override;

	struct Erase {
		uint32_t start;
		uint32_t length;
	};
	// Erases that were carried out, oldest first.
	std::vector<Erase> erases() const;

private:
	uint32_t size_for(int fd) const;
	std::string lock_state() const;

	uint8_t type_;
	uint32_t size_;
	uint32_t erasesize_;
	uint32_t writesize_;
	uint32_t oobsize_;
	int fail_erase_;
	std::string lock_path_;
	std::vector<Erase> erases_;
};

// The character device of a raw NAND flash (/dev/mtdN), backed by whatever
// the descriptor is opened on (a regular file holding the page data; reads,
// seeks and plain page writes reach it directly). The model keeps the spare
// (OOB) area and the bad-block table beside it and answers
//   MEMGETINFO:     {type, MTD_WRITEABLE, size, erasesize, writesize, oobsize};
//   MEMGETBADBLOCK: 1 or 0 for the block holding the offset (EOPNOTSUPP when
//                   the flash has no bad-block table, EINVAL past the end);
//   MEMSETBADBLOCK: adds the block to the table;
//   MEMERASE64:     block-aligned ranges only (EINVAL otherwise), EPERM on a
//                   read-only descriptor, EIO for a bad block or a block set
//                   to fail; the range then reads as 0xFF and its OOB is gone;
//   MEMWRITE:       sub-page-aligned data plus OOB (EIO for a block set to
//                   fail).
// As on NAND, each sub-page is programmed at most once between two erases of
// its block, whatever the data (0xFF too): a second program fails with EIO,
// for MEMWRITE and for the plain writes a test hands to program().
// Events: "MEMERASE64 block=<n>", "MEMERASE64 refused block=<n> errno=<e>",
// "MEMSETBADBLOCK block=<n>", "MEMWRITE page=<n> oob=<bytes>",
// "MEMWRITE refused page=<n> errno=<e>", "program twice offset=<byte>".
// Parameters: "size" (default: the backing file's size), "erasesize"
// (default 128K), "writesize" (default 2048), "subpagesize" (default: the
// write size), "oobsize" (default 64), "type" (default 4), "bad" (blocks bad
// from the factory, e.g. "2:5"), "nobbt" (1: no bad-block support),
// "fail_erase" and "fail_write" (block lists).
class NandFlash : public Model {
public:
	explicit NandFlash(const Params &params = {});
	int ioctl(int fd, unsigned long request, void *arg) override;

	uint32_t erasesize() const { return erasesize_; }
	uint32_t writesize() const { return writesize_; }
	uint32_t subpagesize() const { return subpagesize_; }
	uint32_t oobsize() const { return oobsize_; }

	std::vector<int> bad_blocks() const;
	bool is_bad(int block) const;
	void set_bad(int block);
	void fail_erase(int block);
	void fail_write(int block);
	// Whether a page write at this byte offset is set to fail (tests that
	// wrap write() ask this for plain page writes).
	bool write_fails_at(uint64_t offset) const;
	// Programs len bytes at offset: 0, EINVAL for a range that is not
	// sub-page aligned or lies past the end (of a flash of `size` bytes), EIO
	// when one of its sub-pages was programmed since its block's erase.
	int program(uint64_t offset, uint64_t len, uint64_t size);
	// Erases carried out per block.
	int erase_count(int block) const;
	// The OOB bytes last written to a page (empty when none since its erase).
	std::vector<uint8_t> oob(int page) const;

private:
	uint64_t size_for(int fd) const;
	int program_locked(uint64_t offset, uint64_t len, uint64_t size);

	uint32_t size_;
	uint32_t erasesize_;
	uint32_t writesize_;
	uint32_t subpagesize_;
	uint32_t oobsize_;
	uint8_t type_;
	bool bbt_;
	std::set<int> bad_;
	std::set<int> fail_erase_;
	std::set<int> fail_write_;
	std::map<int, int> erases_;
	std::map<int, std::vector<uint8_t>> oob_;
	std::set<uint64_t> programmed_; // sub-page indices since their erase
};

// The character device of a UBI volume (/dev/ubiX_Y), backed by a regular
// file. UBI_IOCVOLUP with a byte count n >= 0 starts an update: the file is
// emptied and takes the n bytes written next (a negative count: EINVAL).
// Events: "UBI_IOCVOLUP bytes=<n>". Parameter "fail_volup" (errno).
class UbiVolume : public Model {
public:
	explicit UbiVolume(const Params &params = {});
	int ioctl(int fd, unsigned long request, void *arg) override;

	// The byte counts announced, oldest first.
	std::vector<int64_t> updates() const;

private:
	int fail_volup_;
	std::vector<int64_t> updates_;
};

// Attaches a model to a path through devsim. The model stays alive while
// attached (devsim::detach / detach_all release it).
void attach_model(const std::string &path, std::shared_ptr<Model> model);

// Creates a model, attaches it to a path and returns it.
template <typename T, typename... Args> std::shared_ptr<T> install(const std::string &path, Args &&...args)
{
	auto model = std::make_shared<T>(std::forward<Args>(args)...);
	attach_model(path, model);
	return model;
}

// Models that configuration files can name.
using Factory = std::function<std::shared_ptr<Model>(const Params &)>;
bool register_model(const std::string &name, Factory factory);
std::shared_ptr<Model> create(const std::string &name, const Params &params);

// Reads a configuration file (format above) and installs its models. Returns
// the number installed; on a malformed line or an unknown model writes a
// message to *error (when given) and returns -1 without installing anything.
int load_config(const std::string &path, std::string *error = nullptr);
// The same for a configuration held in a string.
int load_config_text(const std::string &text, std::string *error = nullptr);

} // namespace devmodels

namespace devmodels {
// Registers a model before ordinary static initialisers run, so that the
// start-up hook of whole programs finds every model.
struct Registrar {
	Registrar(const char *name, Factory factory) { register_model(name, std::move(factory)); }
};
} // namespace devmodels

#define CRV_DEVMODEL_CAT2(a, b) a##b
#define CRV_DEVMODEL_CAT(a, b) CRV_DEVMODEL_CAT2(a, b)
#define CRV_DEVMODEL(name, Class)                                                                             \
	static const ::devmodels::Registrar CRV_DEVMODEL_CAT(crv_devmodel_registrar_, __LINE__)              \
		__attribute__((init_priority(1000)))(name, [](const ::devmodels::Params &p) {                \
			return std::shared_ptr<::devmodels::Model>(std::make_shared<Class>(p));               \
		})
