// The platform stand-in as the graphics components use it.
#include "khost/gtest.hpp"

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
}

namespace {

class PlatformTest : public khost::KernelTest {
protected:
	void SetUp() override { ASSERT_EQ(khost::load_module("crv_platform"), 0); }
	void TearDown() override
	{
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
};

TEST_F(PlatformTest, LoadsAndUnloadsClean)
{
	EXPECT_EQ(CHP_GetChipID(), CHP_CHIP_ID_UNKNOWN);
}

} // namespace
