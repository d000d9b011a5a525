/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Services of the platform's kernel modules that the graphics components
 * call: debug menus, power-management hooks, clocks, the display interrupt,
 * chip identification, the memory layout and bandwidth-error checks.
 *
 * The records are laid out for the 64-bit kernel; their sizes and offsets are
 * checked below because the platform modules read them as raw memory.
 */
#ifndef CRV_PLATFORM_H
#define CRV_PLATFORM_H

#include <linux/types.h>
#include <linux/stddef.h>
#include <linux/build_bug.h>
#include <linux/interrupt.h>

struct device;

/* ---- Debug menus ------------------------------------------------------- */

#define DRV_DBG_MENU_ACTION	0x200000u	/* target: ST_DRV_DBG_MENU_ACTION */
#define DRV_DBG_MENU_SUBMENU	0x100000u	/* target: another entry array */
#define DRV_DBG_MENU_END	0x800000u	/* closes an entry array */

/* First argument every component passes to DRV_DBG_Register. */
#define DRV_DBG_REGISTER_LEVEL	4u

typedef struct ST_DRV_DBG_MENU_ENTRY {
	u32 u32Flags;
	u32 u32Zero;
	const char *pszName;
	const void *pTarget;
} ST_DRV_DBG_MENU_ENTRY;

/*
 * Handlers are given the arguments the menu collected for the prompts the
 * record declares (two at most); handlers that declare none ignore it.
 */
typedef int (*PF_DRV_DBG_HANDLER)(u32 *pu32Args);

#define DRV_DBG_MAX_ARGS 2

typedef struct ST_DRV_DBG_MENU_ACTION {
	PF_DRV_DBG_HANDLER pfHandler;
	const char *pszArgPrompt[DRV_DBG_MAX_ARGS];
	unsigned long aulReserved[4];
} ST_DRV_DBG_MENU_ACTION;

static_assert(sizeof(ST_DRV_DBG_MENU_ENTRY) == 24, "menu entry is 24 bytes");
static_assert(offsetof(ST_DRV_DBG_MENU_ENTRY, pszName) == 8, "entry name at 8");
static_assert(offsetof(ST_DRV_DBG_MENU_ENTRY, pTarget) == 16, "entry target at 16");
static_assert(sizeof(ST_DRV_DBG_MENU_ACTION) == 56, "menu action is 56 bytes");
static_assert(offsetof(ST_DRV_DBG_MENU_ACTION, pszArgPrompt) == 8, "prompts at 8");

int DRV_DBG_Register(u32 u32Level, u32 u32Flags, const char *pszName,
		     const ST_DRV_DBG_MENU_ENTRY *pstEntries);
/* Blocks until the operator types a number (decimal, 0x hex or 0 octal). */
u32 DRV_DBG_GetNumber(void);
/* Reads one line into buf (size bytes, always terminated); returns its length. */
int DRV_DBG_GetString(char *pszBuf, u32 u32Size);

/* ---- Power management -------------------------------------------------- */

#define KER_PMI_MODE_NORMAL	0u
#define KER_PMI_MODE_STANDBY	4u

typedef struct ST_KER_PMI_OPS {
	void *pReserved0;
	unsigned long ulReserved8;		/* zero */
	int (*pfSuspend)(void);
	int (*pfResume)(void);
	void *apReserved[10];
} ST_KER_PMI_OPS;

static_assert(sizeof(ST_KER_PMI_OPS) == 112, "PMI ops are 112 bytes");
static_assert(offsetof(ST_KER_PMI_OPS, pfSuspend) == 16, "suspend hook at 16");
static_assert(offsetof(ST_KER_PMI_OPS, pfResume) == 24, "resume hook at 24");

/*
 * Installs suspend/resume hooks. Suspend hooks run in ascending order,
 * resume hooks in descending order; installing an id again replaces it.
 */
int KER_PMI_Install(u32 u32Id, u32 u32Kind, ST_KER_PMI_OPS *pstOps, u32 u32Order,
		    void *pReserved, struct device *pDev);
/* KER_PMI_MODE_STANDBY while the system goes to or comes from standby. */
u32 KER_PMI_Mode(void);

/* ---- Clocks ------------------------------------------------------------ */

int KER_CLK_SetClockMask(u32 u32ClockId, u32 u32On);		/* 0 gate, 1 ungate */
int KER_CLK_SetClockReset(u32 u32BlockId, u32 u32Assert);	/* 1 hold, 0 release */

/* ---- Interrupts -------------------------------------------------------- */

#define KER_SYS_IRQ_DP_VSYNC	50u

/*
 * Handlers run in interrupt context with interrupts off and must not sleep.
 * Returns 0 on success, a negative errno otherwise.
 */
int KER_SYS_IRQRequest(u32 u32Irq, irq_handler_t pfHandler, unsigned long ulFlags,
		       const char *pszName, void *pDevId, u32 u32Enable, void *pReserved);
int KER_SYS_IRQFree(u32 u32Irq, irq_handler_t pfHandler, void *pDevId, u32 u32Reserved);

/* ---- Chip identification ------------------------------------------------ */

#define CHP_CHIP_ID_UNKNOWN	0x7fffffffu

u32 CHP_GetChipID(void);

/* ---- Memory layout ----------------------------------------------------- */

struct crv_mem_node;

struct crv_mem_info {
	u64 u64Start;	/* physical start */
	u32 u32Size;	/* bytes */
	u32 u32Reserved;
};

static_assert(offsetof(struct crv_mem_info, u32Size) == 8, "region size at 8");

/* NULL when the layout has no region of that name. */
struct crv_mem_node *crv_mem_find_node_by_name(const char *pszName);
/* 0 and the region's start and size in *pstInfo, or a negative errno. */
int crv_mem_alloc_from_contiguous(struct crv_mem_node *pstNode, struct crv_mem_info *pstInfo);

/* ---- Bandwidth-error checks -------------------------------------------- */

/* check() returns 1 when it found a bandwidth error, 0 otherwise. */
int CRV_DBG_RegisterBwErrChk(u32 u32Id, int (*pfCheck)(void));

#endif /* CRV_PLATFORM_H */
