// SPDX-License-Identifier: GPL-2.0
/*
 * Module frame: starts the components in a fixed order and stops them in
 * the same order. A component that fails to start leaves the others running.
 *
 * The build defines VYR_HAVE_<component> for each component it compiles in;
 * a component that is not built is simply not started.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include "vyr_compat.h"
#include "vyr_components.h"

#define VYR_BANNER_RULE \
	"================================================================================"

static int __init vyr_gfx_init(void)
{
	printk(KERN_ALERT VYR_BANNER_RULE "\n");
	printk(KERN_ALERT " Vyr Gfx Initiation start\n");
	printk(KERN_ALERT VYR_BANNER_RULE "\n");

#ifdef VYR_HAVE_GPU
	KER_GPU_DrvInit();
#endif
#ifdef VYR_HAVE_DISPAGE
	KER_DispAge_DrvInit();
#endif
#ifdef VYR_HAVE_XDMA
	KER_XDMA_DrvInit();
#endif
#ifdef VYR_HAVE_HDMA
	KER_HDMA_DrvInit();
#endif
#ifdef VYR_HAVE_OSD
	KER_OSD_DrvInit();
#endif
#ifdef VYR_HAVE_GAI
	KER_GAI_DrvInit();
#endif

	printk(KERN_INFO "Vyr Gfx: Initiation end\r\n");
	return 0;
}

static void __exit vyr_gfx_exit(void)
{
	printk(KERN_INFO "Vyr Gfx: unloaded start\r\n");

#ifdef VYR_HAVE_GPU
	KER_GPU_DrvExit();
#endif
#ifdef VYR_HAVE_DISPAGE
	KER_DispAge_DrvExit();
#endif
#ifdef VYR_HAVE_XDMA
	KER_XDMA_DrvExit();
#endif
#ifdef VYR_HAVE_HDMA
	KER_HDMA_DrvExit();
#endif
#ifdef VYR_HAVE_OSD
	KER_OSD_DrvExit();
#endif
#ifdef VYR_HAVE_GAI
	KER_GAI_DrvExit();
#endif

	printk(KERN_INFO "Vyr Gfx: unloaded end\r\n");
}

module_init(vyr_gfx_init);
module_exit(vyr_gfx_exit);

MODULE_DESCRIPTION("vyr_gfx module init");
MODULE_LICENSE("GPL");
MODULE_IMPORT_NS(VFS_internal_I_am_really_a_filesystem_and_am_NOT_a_driver);
VYR_IMPORT_DMA_BUF_NS();
