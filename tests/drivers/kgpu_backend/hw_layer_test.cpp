// The 2D register layer links and runs without the operation layer above it.
#include "khost/gtest.hpp"

extern "C" {
#include "ker_gpu_hw.h"
// Words the driver core owns.
unsigned int g_GpuDbgMask = 1;
unsigned int g_GpuHwFeature;
}

TEST(HwLayer, RunsWithoutTheOperationLayer)
{
	ST_KER_GPU_INIT init = {};
	ASSERT_EQ(KGPU_OP_Q3_Initial(&init), 0);
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_EQ(KGPU_OP_Q3_Fill(nullptr, &fill, nullptr), -22);
}
