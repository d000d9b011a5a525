/* SPDX-License-Identifier: GPL-2.0 */
/*
 * 2D engine: what the driver core, the exec layer, the operation layer and
 * the two programming backends share.
 *
 * The core owns the engines (lock, trigger, interrupt, wait) and hands the
 * operation layer one start-up record through KGPU_OP_Initial; the layer
 * copies it into each backend's control context, and the backends reach the
 * engines only through the three functions it carries.
 *
 * Engine ownership:
 *   - pfnLock(engine) takes the engine (0), -1 while suspended, or the error
 *     of a killed wait.
 *   - pfnTrigger(engine, 0, ...) starts the engine and waits for it; the
 *     caller still owns the engine afterwards and calls pfnUnlock.
 *   - pfnTrigger(engine, 1, cb1, a1, cb2, a2) starts the engine and returns 0
 *     at once. Ownership passes to the operation: the interrupt handler runs
 *     cb2(a2) then cb1(a1) (each only when not null) and releases the engine.
 *     The caller must not call pfnUnlock for that operation; a pfnUnlock by
 *     the same task right after a non-blocking trigger is ignored.
 *
 * Kernel records passed to the exported KGPU_OP_* functions belong to the
 * caller for the duration of the call.
 */
#ifndef KER_GPU_IF_H
#define KER_GPU_IF_H

#include <linux/types.h>
#include <linux/list.h>
#include <linux/bits.h>
#include <linux/build_bug.h>

struct device;

/* ------------------------------------------------------------------------ */
/* Hardware description                                                      */

#define KER_GPU_MAX_ENGINES	2

/* Feature bits (HwFeature, g_GpuFeatureMask). */
#define KER_GPU_HW_FEATURE_OLD_HW	BIT(0)
#define KER_GPU_HW_FEATURE_FMT_YUYV	BIT(1)
#define KER_GPU_HW_FEATURE_NV12_ACC	BIT(2)
#define KER_GPU_HW_FEATURE_WORK_QUEUE	BIT(3)

/* Issue bits (HwIssue, g_GpuIssueMask). */
#define KER_GPU_HW_ISSUE_FORCE_OLD_HW	BIT(0)
#define KER_GPU_HW_ISSUE_BYTE_COPY	BIT(1)
#define KER_GPU_HW_ISSUE_AGE_1		BIT(2)
#define KER_GPU_HW_ISSUE_POWER		BIT(3)
#define KER_GPU_HW_ISSUE_CH4LV3		BIT(4)

/* Size of each mapped register window (engine and command processor). */
#define KER_GPU_REG_WINDOW_SIZE		0x200
/* The command processor's window lies this far past the engine's. */
#define KER_GPU_CPU_REG_OFFSET		0x400

/* One register-window record per engine. */
typedef struct {
	u32 Gpu_RegBase;		/* engine registers, physical */
	u32 Cpu_RegBase;		/* command processor, physical */
	u32 Reserved;
	void __iomem *Gpu_RegReMap;	/* engine registers, 512 bytes */
	void __iomem *Cpu_RegReMap;	/* command processor, 512 bytes */
	void __iomem *Old_RegReMap;	/* "OLD_HW" hardware only; not mapped */
} ST_KER_GPU_HW_REG;

/* Completion callback of a non-blocking operation. */
typedef void (*KER_GPU_CALLBACK)(void *arg);

typedef int (*KER_GPU_LOCK_FN)(int engine);
typedef int (*KER_GPU_TRIGGER_FN)(int engine, unsigned int mode,
				  KER_GPU_CALLBACK cb1, void *arg1,
				  KER_GPU_CALLBACK cb2, void *arg2);
typedef int (*KER_GPU_UNLOCK_FN)(int engine);

/* KER_GPU_Trigger modes. */
#define KER_GPU_TRIGGER_BLOCK		0
#define KER_GPU_TRIGGER_NONBLOCK	1

/*
 * Start-up record, handed to KGPU_OP_Initial and copied whole into each
 * backend's control context (96 bytes on 64-bit kernels).
 */
typedef struct {
	struct device *pDevice;
	u32 HwVersion;			/* 2, 3 or 4 */
	s32 HwNum;			/* engine count */
	ST_KER_GPU_HW_REG *pstHwReg;	/* one record per engine */
	KER_GPU_LOCK_FN pfnLock;
	KER_GPU_TRIGGER_FN pfnTrigger;
	KER_GPU_UNLOCK_FN pfnUnlock;
	int (*pfnVsyncSource)(int source);	/* the core leaves it null */
	u32 Disabled;			/* nonzero: operations return it; 0 */
	u32 Reserved0;
	u32 SpeedLimit_Num;
	u32 SpeedLimit_Den;
	u32 HwFeature;
	u32 FeatureMask;
	u32 HwIssue;
	u32 IssueMask;
	u32 Reserved1[2];
} ST_KER_GPU_INIT;

#ifdef CONFIG_64BIT
static_assert(sizeof(ST_KER_GPU_INIT) == 96, "start-up record is 96 bytes");
#endif

/* ------------------------------------------------------------------------ */
/* Operation records                                                         */

/*
 * Per-operation options a kernel caller may attach to a destination plane:
 * the engine to run on (taken when below the engine count, else engine 0),
 * non-blocking mode, and the completion callback the interrupt handler runs
 * (the first callback of KER_GPU_Trigger). The exec layer passes none.
 */
typedef struct {
	u8 HwId;
	u8 NonBlock;
	u8 Reserved[2];
	KER_GPU_CALLBACK pfnDone;
	void *pDoneArg;
} ST_KER_GPU_OP_OPTION;

/* Batch rectangles: Count entries, Stride bytes apart (x, y as s16; w, h as u16). */
typedef struct {
	u16 Count;
	u8 Stride;
	u8 Reserved;
	s16 *pX;
	s16 *pY;
	u16 *pW;
	u16 *pH;
} ST_KER_GPU_BATCH;

/* Number of channels (planes) per plane record. */
#define KER_GPU_PLANE_CHANNELS	3

/*
 * What an operation may reach of each buffer a plane names: [Lo, Hi) of
 * channels 0-2 and of the palette (KER_GPU_REACH_PALETTE). A plane without
 * one (kernel callers, openers with raw I/O access) is not bounded.
 */
#define KER_GPU_REACH_PALETTE	3
typedef struct {
	u64 Lo[KER_GPU_PLANE_CHANNELS + 1];
	u64 Hi[KER_GPU_PLANE_CHANNELS + 1];
} KER_GPU_REACH;

/* KER_GPU_PLANE has room for this many bytes. */
#define KER_GPU_PLANE_ROOM	192

/*
 * Kernel plane record. The exec layer zeroes it and fills everything up to
 * and including pstReach; the fields between Clip_y and RunLen_Enable and
 * those after Status[] are set only by kernel callers that need them.
 * Status[] belongs to the backends.
 */
typedef struct {
	union {
		struct {
			u8 FormatMode;		/* pixel format number */
			u8 Reserved0;
			u8 Bit24Mode;		/* 24-bit byte order (formats 3, 7, 20) */
			u8 SeparateUV;		/* three planes (formats 15-18) */
			u8 Apha_1;
			u8 Apha_2;
			u16 FixedValue_Enable;	/* plane half-word */
			u32 FixedValue;		/* plane word */
			u64 Buf_Address[KER_GPU_PLANE_CHANNELS];
			u32 Buf_Stride[KER_GPU_PLANE_CHANNELS];
			u16 W;
			u16 H;
			u8 ClipOn;		/* 1: rectangle at (Clip_x, Clip_y) */
			s32 Clip_x;
			s32 Clip_y;

			/* Read only by the backends; 0 from the exec layer. */
			u8 YUV_To_RGB_Mode;
			u8 CustomFormatTransform;
			u8 scl_PreAlpha;
			u8 UpSampleMode;
			u8 AlphaThreshold;
			u8 ColorKey_Enable;
			u8 ColorKey_Width;
			u8 Vsync_Trigger;
			u32 ColorKey;
			u8 Vsync_Source;
			u8 Hsync_Limit;
			u8 BottomUp;
			u8 Reserved1;
			u32 Hsync_Limit_Value;

			/* Run-length output (destination of a copy). */
			u8 RunLen_Enable;
			u8 RunLen_Mode;
			u32 RunLen_Boundary;
			u32 RunLen_Size;	/* out */

			ST_KER_GPU_BATCH stBatch;
			ST_KER_GPU_OP_OPTION *pstOption;
			/* Checked where the engine is programmed; see KER_GPU_REACH. */
			const KER_GPU_REACH *pstReach;

			/* Written back by the backends (registers 0x008, 0x00C). */
			u32 Status[2];

			/* Read only by the backends; 0 from the exec layer. */
			u8 FlipCode;		/* blend-scale: first source's flip/rotate mode */
			u32 SpeedLimit_Num;	/* Q2: the plane's own speed-limit pair */
			u32 SpeedLimit_Den;
		};
		u8 Room[KER_GPU_PLANE_ROOM];
	};
} KER_GPU_PLANE;

static_assert(sizeof(KER_GPU_PLANE) == KER_GPU_PLANE_ROOM,
	      "plane record has room for 192 bytes");

/* Fill modes. */
#define KER_GPU_FILL_SOLID	0
#define KER_GPU_FILL_GRADIENT	1

/* Fill record, 40 bytes, laid out as the exec record's fill settings. */
typedef struct {
	u32 FillMode;
	union {
		u32 Color;			/* solid */
		struct {			/* gradient */
			u8 Wrap;
			u8 CheckAllBound;
			u8 Domain;
			u8 YUV_To_RGB_Mode;
			u16 Width;
			u16 Height;
			s16 HDiff[4];
			s16 VDiff[4];
			u8 StartColor[4];
			u8 UpperBound[4];
			u8 LowerBound[4];
		} __packed stGradient;
		u8 Raw[36];
	};
} _ST_KER_GPU_FILL_SETTING;

static_assert(sizeof(_ST_KER_GPU_FILL_SETTING) == 40, "fill record is 40 bytes");

/* Scale record. Partial_Marker KER_GPU_PARTIAL_SCALING_MARKER enables X1..Y2. */
#define KER_GPU_SCALE_HW_MARKER		0x2A3
#define KER_GPU_PARTIAL_SCALING_MARKER	0xDFB

typedef struct {
	u32 ScaleHwVersion;
	u32 ScaleParam1;		/* exec scale settings u32 at 12 */
	u32 ScaleParam2;		/* exec scale settings u32 at 16 */
	u32 ScaleOp_Mode;
	u32 LowPass_Mode;
	u16 Partial_Marker;
	s16 X1;
	s16 X2;
	s16 Y1;
	s16 Y2;
	u16 Force_Scaling;		/* Q2: scale even between equal sizes */
} _ST_KER_GPU_SCLP_SETTING;

/* Blend parameter record: 17 byte fields. */
#define KER_GPU_BLEND_PARAM_NUM	17
typedef struct {
	u8 Param[KER_GPU_BLEND_PARAM_NUM];
} _ST_KER_GPU_BLEND_PARAM;

typedef struct {
	_ST_KER_GPU_BLEND_PARAM *pstGpuBlendParam;
	u32 Reserved;
	u8 SrcColorKey_Enable;
	u8 SrcColorKey_CheckAlpha;
	u32 SrcColorKey;
	u8 DstColorKey_Enable;
	u8 DstColorKey_CheckAlpha;
	u32 DstColorKey;
	u8 SrcAlpha_Flag1;		/* exec word at 8, bit 4 */
	u8 SrcAlpha_Flag2;		/* bit 0 */
	u8 ColorMultiply;		/* bit 20 */
	u8 Flag_Bit12;			/* bit 12 */
	u8 Flag_Bit8;			/* bit 8 */
	u32 ConstColor;
	u8 BlendParam[4];		/* SrcPreAlpha, DstPreAlpha, Demultiply, 1 */
	u8 Xor_Flag1;			/* copies of the exec byte at 12 */
	u8 Xor_Flag2;
} _ST_KER_GPU_BLEND_SETTING;

/* Flip/rotate modes 0-7; the odd ones exchange width and height. */
typedef u32 EN_KER_GPU_FLIP_ROTATE_MODE;

/* ------------------------------------------------------------------------ */
/* Driver core (ker_gpu.c)                                                   */

int KER_GPU_Lock(int engine);
int KER_GPU_Trigger(int engine, unsigned int mode,
		    KER_GPU_CALLBACK cb1, void *arg1,
		    KER_GPU_CALLBACK cb2, void *arg2);
int KER_GPU_Unlock(int engine);

/* Module parameters of the core: driver debug mask, hardware-feature word (0444). */
extern unsigned int g_GpuDbgMask;
extern unsigned int g_GpuHwFeature;

/* ------------------------------------------------------------------------ */
/* Operation layer (ker_gpu_op.c)                                            */

/* Defined here; KGPU_OP_Initial sets them from the start-up record. */
extern unsigned int g_GpuFeatureMask;
extern unsigned int g_GpuHwIssue;
extern unsigned int g_GpuIssueMask;
/* Module parameters of the operation layer. */
extern unsigned int g_GpuOpDbgMask;
extern unsigned int g_Debug_Register_Msg;

/* Exported operations: 0 or a negative errno. */
int KGPU_OP_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
		 _ST_KER_GPU_BLEND_SETTING *pstBlend);
int KGPU_OP_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst);
int KGPU_OP_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				_ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
		       KER_GPU_PLANE *pstDst,
		       _ST_KER_GPU_BLEND_SETTING *pstBlend,
		       _ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
		       EN_KER_GPU_FLIP_ROTATE_MODE enMode);
int KGPU_OP_CmdMode(u32 u32CmdPhyAddr);

/* Called by the core. */
int KGPU_OP_Initial(ST_KER_GPU_INIT *pstInit);
void KGPU_OP_trigger(int engine);		/* under the engine's spinlock */
int KGPU_OP_irq_handle(int engine);		/* 0: the operation ended */
int KGPU_OP_status(int engine, u32 *pu32Status);	/* 1 done, -16 busy */
void KGPU_OP_DumpReg(int engine);
int KGPU_OP_Use_Apu(int engine);
int KGPU_OP_Set_Speed_Limit(u32 u32Num, u32 u32Den);
int KGPU_OP_Resume(void);
/* Buffers a plane of the format uses, one per channel. */
int KGPU_OP_Plane_Buffers(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV);
/* Whether the format is read through a palette (its address in buffer 1). */
bool KGPU_OP_Plane_Palette(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV);
/* Stops the engine and its command processor (before a list is freed). */
void KGPU_OP_Reset(int engine);

/* Debug-menu helpers. */
void KGPU_OP_ToggleDbgMask(int n);
void KGPU_OP_Toggle_FetureMask(int bit);
void KGPU_OP_Toggle_IssueMask(int bit);
void KGPU_OP_Reset_IssueMask(void);
void KGPU_OP_Disable_All_DbgMask(void);
void KGPU_OP_PrintDbgGroup(int first);
void KGPU_OP_PrintFeatureGroup(int first);
void KGPU_OP_PrintIssueGroup(int first);

/* Number of g_GpuOpDbgMask bits the debug menu lists (numbered from 33). */
#define KGPU_OP_DBG_MASK_ITEMS	11

/* ------------------------------------------------------------------------ */
/* Command buffers (ker_gpu_cmdbuf.c)                                        */

#define KGPU_CMDBUF_PAGE_SIZE	0x1000
#define KGPU_CMDBUF_RESERVE	64

/* Command words. */
#define KGPU_CMD_REG(nn)	(0x01000000u | (nn))	/* write register word nn */
#define KGPU_CMD_WAIT		0x07010001u		/* value: status mask (512) */
#define KGPU_CMD_JUMP		0x05010000u		/* value: next page */
#define KGPU_CMD_END		0x00000000u
#define KGPU_CMD_WAIT_DONE_MASK	512

typedef struct {
	struct list_head list;
	void *pVirAddr;		/* while being written */
	u32 *pCursor;		/* while being written */
	u32 u32Size;		/* always KGPU_CMDBUF_PAGE_SIZE */
	u32 u32Room;		/* bytes left */
	u64 u64PhyAddr;		/* where the engine fetches it (its DMA mapping) */
	unsigned long pfn;
	u32 u32CmdNum;		/* commands written */
	struct device *pDevice;	/* mapped for this device; null: not mapped */
} ST_KGPU_CMDBUF_PAGE;

/* The handle is the list part of the list head. */
typedef struct list_head *KGPU_CMDBUF_HANDLE;

KGPU_CMDBUF_HANDLE KGPU_Cmdbuf_Open(struct device *dev);
ST_KGPU_CMDBUF_PAGE *KGPU_Cmdbuf_New(void);
void KGPU_Cmdbuf_Add(KGPU_CMDBUF_HANDLE hCmd, ST_KGPU_CMDBUF_PAGE *pstPage);
/* Jumps to a new page when the last one is full: its room, or -ENOMEM. */
int KGPU_Cmdbuf_Chain(KGPU_CMDBUF_HANDLE hCmd);
int KGPU_Cmdbuf_Write(KGPU_CMDBUF_HANDLE hCmd, u32 u32Cmd, u32 u32Value);
u64 KGPU_Cmdbuf_Stop(KGPU_CMDBUF_HANDLE hCmd);
void KGPU_Cmdbuf_Close(KGPU_CMDBUF_HANDLE hCmd);
void KGPU_Cmdbuf_Dump(KGPU_CMDBUF_HANDLE hCmd);
void KGPU_Cmdbuf_Dump_Partial(KGPU_CMDBUF_HANDLE hCmd, u64 u64PhyAddr,
			      u32 u32WordNum);
/* The first page's physical address (0 for an empty list). */
u64 KGPU_Cmdbuf_First(KGPU_CMDBUF_HANDLE hCmd);
u32 KGPU_Cmdbuf_Reg_Plane_Size(u32 w, u32 h);
u64 KGPU_Cmdbuf_Reg_Plane_Addr(u64 base, u32 stride, u32 pixel_bytes,
			       u32 y, u32 x);

#endif /* KER_GPU_IF_H */
