// The USB payload buffer measured in a private copy of the system, where a
// block node at /dev/sda1 holds nothing vfat can mount.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <string>

#include "sandbox.h"
#include "storage_buffers.h"

namespace {

// A stick the system mounted itself (exFAT, NTFS) at the buffer's folder is
// measured although the vfat mount fails; the bare folder counts nothing.
TEST(StorageBuffers, AStickMountedAtTheFolderIsMeasuredABareFolderIsNot)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/media/sda1");
	auto r = box.run([] {
		// A block device no driver answers: the vfat mount fails.
		if (mknod("/dev/sda1", S_IFBLK | 0600, makedev(240, 0)) != 0)
			return 2;
		init_storage_buffers();
		const auto bare = storage_buffer_cfg[SECONDARY_BUFFER].free_bytes;
		if (mount("stick", "/media/sda1", "tmpfs", 0, "size=64m") != 0)
			return 3;
		init_storage_buffers();
		printf("\nbare=%llu mounted=%llu\n", static_cast<unsigned long long>(bare),
		       static_cast<unsigned long long>(storage_buffer_cfg[SECONDARY_BUFFER].free_bytes));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.exit_code << r.out;
	EXPECT_NE(r.out.find("\nbare=0 mounted=67108864\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("Capacity of /media/sda1: 64.00M\n"), std::string::npos) << r.out;
}

} // namespace
