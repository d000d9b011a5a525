// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine exec command: turns the user's exec record into the kernel
 * operation records, imports dma-buf planes for the one operation, runs it
 * and releases every import whatever the result.
 */
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/uaccess.h>
#include <linux/dma-buf.h>
#include <linux/dma-mapping.h>
#include <linux/scatterlist.h>
#include <linux/err.h>

#include "vyr_compat.h"
#include "vyr_perm.h"
#include "ker_gpu.h"

/* One imported plane. */
typedef struct {
	struct dma_buf *pDmaBuf;
	struct dma_buf_attachment *pAttach;
	struct sg_table *pSgt;
	u64 u64DmaAddr;
	u64 u64Len;		/* bytes from u64DmaAddr to the buffer's end */
} ST_KGPU_IMPORT;

/*
 * Imports of one exec plane: its channel buffers and, for a palette format,
 * its palette (named where the record names a second buffer). For each the
 * reach the operation is held to, where the engine is programmed: the
 * imported dma-buf from the offset on, or the allocation a physical address
 * lies in (held for the operation). An opener with raw I/O access is not
 * held to one.
 */
#define KGPU_BIND_BUFS (KER_GPU_PLANE_CHANNELS + 1)
typedef struct {
	ST_KGPU_IMPORT astMem[KGPU_BIND_BUFS];
	ST_KGPU_MEM_RECORD *apRec[KGPU_BIND_BUFS];
	u32 u32PlaneNum;
	bool bPalette;
	u64 au64Addr[KGPU_BIND_BUFS];	/* [KER_GPU_REACH_PALETTE]: the palette */
	KER_GPU_REACH stReach;
	bool bBound;
} ST_KGPU_BIND;

/* Largest batch the engine walks: the low 16 bits of the count. */
#define KGPU_BATCH_MAX 0xFFFF

/* ------------------------------------------------------------------------ */
/* Imports                                                                   */

static int _kgpu_attach_buf(struct file *filp, int fd, u32 offset, ST_KGPU_IMPORT *pstMem)
{
	struct dma_buf *buf;
	struct dma_buf_attachment *att;
	struct sg_table *sgt;
	u64 len;

	if (!filp || !pstMem) {
		KGPU_ERR("%s() filp = %p, pstMem = %p\n", __func__, filp, pstMem);
		return -ENOENT;
	}
	if (!filp->private_data) {
		KGPU_ERR("%s() pstfile = NULL \n", __func__);
		return -ENXIO;
	}
	buf = dma_buf_get(fd);
	if (IS_ERR_OR_NULL(buf)) {
		KGPU_ERR("dma_buf_get(%d) error !!!!!! \n", fd);
		return -EINVAL;
	}
	att = dma_buf_attach(buf, g_KerGpuCtx.pDevice);
	if (IS_ERR_OR_NULL(att)) {
		KGPU_ERR("dma_buf_attach(%p) from fd(%d) error !!!!!! \n", buf, fd);
		dma_buf_put(buf);
		return -EINVAL;
	}
	sgt = dma_buf_map_attachment_unlocked(att, DMA_BIDIRECTIONAL);
	if (IS_ERR_OR_NULL(sgt)) {
		KGPU_ERR("dma_buf_map_attachment(%p) from fd(%d) error !!!!!! \n", att, fd);
		dma_buf_detach(buf, att);
		dma_buf_put(buf);
		return -EINVAL;
	}
	if (sgt->nents != 1) {
		KGPU_ERR("dma_buf_attach(%p) from fd(%d) error !!!!!! \n", buf, fd);
		dma_buf_unmap_attachment_unlocked(att, sgt, DMA_BIDIRECTIONAL);
		dma_buf_detach(buf, att);
		dma_buf_put(buf);
		return -EINVAL;
	}
	len = sg_dma_len(sgt->sgl);
	if (offset >= len) {
		/* The operation would run on the wrong memory: refuse it. */
		KGPU_ERR("fd(%d) sg_dma_len(0x%X) but offset(0x%X) too large !!!!!! \n",
			 fd, (u32)len, offset);
		dma_buf_unmap_attachment_unlocked(att, sgt, DMA_BIDIRECTIONAL);
		dma_buf_detach(buf, att);
		dma_buf_put(buf);
		return -EINVAL;
	}
	pstMem->pDmaBuf = buf;
	pstMem->pAttach = att;
	pstMem->pSgt = sgt;
	pstMem->u64DmaAddr = sg_dma_address(sgt->sgl) + offset;
	pstMem->u64Len = len - offset;
	return 0;
}

static void _kgpu_detach_buf(ST_KGPU_IMPORT *pstMem)
{
	if (pstMem->pSgt && pstMem->pAttach)
		dma_buf_unmap_attachment_unlocked(pstMem->pAttach, pstMem->pSgt, DMA_BIDIRECTIONAL);
	if (pstMem->pAttach && pstMem->pDmaBuf)
		dma_buf_detach(pstMem->pDmaBuf, pstMem->pAttach);
	if (pstMem->pDmaBuf)
		dma_buf_put(pstMem->pDmaBuf);
	memset(pstMem, 0, sizeof(*pstMem));
}

/* One buffer per channel of the format: two or three for the planar ones. */
static u32 _kgpu_plane_num(const ST_KGPU_EXEC_PLANE *p)
{
	u8 sep = (p->u8Format >= 15 && p->u8Format <= 18) ? !!p->u8FormatFlag : 0;
	int n = KGPU_OP_Plane_Buffers(p->u8Format, p->u8FormatFlag, sep);

	return clamp_t(int, n, 1, KER_GPU_PLANE_CHANNELS);
}

/*
 * Imports (or copies) buffer `from` of the exec plane as bound buffer k. A
 * physical address must lie in an allocation made through this file, unless
 * the opener has raw I/O access.
 */
static int _kgpu_get_one(struct file *filp, const ST_KGPU_EXEC_PLANE *p, const char *name,
			 bool raw, u32 from, u32 k, ST_KGPU_BIND *b)
{
	switch (p->u32BufSrcType) {
	case KGPU_BUF_SRC_DMABUF:
		if (_kgpu_attach_buf(filp, p->s32Fd[from], p->u32Offset[from], &b->astMem[k])) {
			KGPU_ERR("kgpu_attach_buf %s fail \n", name);
			break;
		}
		b->au64Addr[k] = b->astMem[k].u64DmaAddr;
		b->stReach.Lo[k] = b->au64Addr[k];
		b->stReach.Hi[k] = b->au64Addr[k] + b->astMem[k].u64Len;
		break;
	case KGPU_BUF_SRC_PHYS:
		b->au64Addr[k] = p->u64Addr[from];
		if (!b->au64Addr[k]) {
			KGPU_ERR("%s->Phy_addr[%d] == NULL\n", name, from);
			break;
		}
		if (!kgpu_mem_get(filp, b->au64Addr[k], 0, &b->apRec[k]))
			kgpu_mem_range(b->apRec[k], &b->stReach.Lo[k], &b->stReach.Hi[k]);
		else if (!raw)
			return -EPERM;
		break;
	default:
		KGPU_ERR("%s(%s BufSrcType undefined)\n", __func__, name);
		break;
	}
	return 0;
}

static int _kgpu_get_buf(struct file *filp, const ST_KGPU_EXEC_PLANE *p, const char *name,
			 bool raw, ST_KGPU_BIND *b)
{
	u8 sep = (p->u8Format >= 15 && p->u8Format <= 18) ? !!p->u8FormatFlag : 0;
	u32 i;
	int ret;

	b->bBound = true;
	b->u32PlaneNum = _kgpu_plane_num(p);
	for (i = 0; i < b->u32PlaneNum; i++) {
		ret = _kgpu_get_one(filp, p, name, raw, i, i, b);
		if (ret)
			return ret;
	}
	/* The palette is the second buffer the record names (none: 0). */
	b->bPalette = KGPU_OP_Plane_Palette(p->u8Format, p->u8FormatFlag, sep);
	if (b->bPalette && (p->u32BufSrcType != KGPU_BUF_SRC_PHYS || p->u64Addr[1]))
		return _kgpu_get_one(filp, p, name, raw, 1, KER_GPU_REACH_PALETTE, b);
	return 0;
}

static void _kgpu_put_buf(ST_KGPU_BIND *b)
{
	u32 i;

	for (i = 0; i < KGPU_BIND_BUFS; i++) {
		_kgpu_detach_buf(&b->astMem[i]);
		kgpu_mem_put(b->apRec[i]);
		b->apRec[i] = NULL;
	}
	b->bBound = false;
}

static int _kgpu_check_addr(const ST_KGPU_BIND *b)
{
	u32 i;

	for (i = 0; i < b->u32PlaneNum; i++) {
		if (!b->au64Addr[i]) {
			KGPU_ERR("find dma_address[%d] == NULL\n", i);
			return -EFAULT;
		}
	}
	return 0;
}

enum { KGPU_SRC1, KGPU_SRC2, KGPU_DST, KGPU_PLANES };

static bool _kgpu_src2_format_ok(u8 fmt)
{
	return (fmt >= 3 && fmt <= 9) || (fmt >= 11 && fmt <= 18) ||
	       (fmt >= 20 && fmt <= 24) || fmt == 26 || (fmt >= 28 && fmt <= 31);
}

/*
 * Binds the planes the operation uses, in the order source 1, source 2,
 * destination, each after its format check. Whatever is bound is released
 * by _kgpu_unbind_buf, on every path.
 */
static int _kgpu_bind_buf(struct file *filp, const ST_KGPU_EXEC *e, const bool use[KGPU_PLANES],
			  bool raw, ST_KGPU_BIND bind[KGPU_PLANES])
{
	int ret;

	if (use[KGPU_SRC1]) {
		if (e->stSrc1.u8Format % 32 == 19) {
			KGPU_ERR("Source 1 Format not support !!!!\n");
			return -ENOEXEC;
		}
		ret = _kgpu_get_buf(filp, &e->stSrc1, "Src1", raw, &bind[KGPU_SRC1]);
		if (ret)
			return ret;
	}
	if (use[KGPU_SRC2]) {
		if (!_kgpu_src2_format_ok(e->stSrc2.u8Format % 32)) {
			KGPU_ERR("Source 2 Format(%d) not support !!!!\n", e->stSrc2.u8Format);
			return -ENOEXEC;
		}
		ret = _kgpu_get_buf(filp, &e->stSrc2, "Src2", raw, &bind[KGPU_SRC2]);
		if (ret)
			return ret;
	}
	if (use[KGPU_DST]) {
		u8 fmt = e->stDst.u8Format % 32;

		if (fmt == 17 || fmt == 19 || fmt == 25) {
			KGPU_ERR("Destination Format not support !!!!\n");
			return -ENOEXEC;
		}
		ret = _kgpu_get_buf(filp, &e->stDst, "Dst", raw, &bind[KGPU_DST]);
		if (ret)
			return ret;
	}
	for (ret = 0; ret < KGPU_PLANES; ret++) {
		if (bind[ret].bBound) {
			int r = _kgpu_check_addr(&bind[ret]);

			if (r)
				return r;
		}
	}
	return 0;
}

static void _kgpu_unbind_buf(ST_KGPU_BIND bind[KGPU_PLANES])
{
	int i;

	for (i = 0; i < KGPU_PLANES; i++)
		_kgpu_put_buf(&bind[i]);
}

/* ------------------------------------------------------------------------ */
/* Conversions                                                               */

static int kgpu_exe_plane_setting(const ST_KGPU_EXEC_PLANE *p, const ST_KGPU_BIND *b,
				  bool raw, KER_GPU_PLANE *k)
{
	u32 i;

	memset(k, 0, sizeof(*k));
	if (!p->u16Width || !p->u16Height) {
		KGPU_ERR("Kgpu_exec WxH = %dx%d\n", p->u16Width, p->u16Height);
		return -1;
	}
	if (p->u32BufSrcType != KGPU_BUF_SRC_PHYS && p->u32BufSrcType != KGPU_BUF_SRC_DMABUF)
		return -1;
	k->FormatMode = p->u8Format;
	if (p->u8Format >= 15 && p->u8Format <= 18)
		k->SeparateUV = p->u8FormatFlag ? 1 : 0;
	else if (p->u8Format == 3 || p->u8Format == 7 || p->u8Format == 20)
		k->Bit24Mode = p->u8FormatFlag;
	k->Apha_1 = p->u8AlphaA;
	k->Apha_2 = p->u8AlphaB;
	k->FixedValue_Enable = p->u16PlaneHalf;
	k->FixedValue = p->u32PlaneWord;
	for (i = 0; i < KER_GPU_PLANE_CHANNELS; i++) {
		k->Buf_Address[i] = b->au64Addr[i];
		k->Buf_Stride[i] = p->u16Stride[i];
	}
	/* A palette format's palette address is its second buffer address. */
	if (b->bPalette)
		k->Buf_Address[1] = b->au64Addr[KER_GPU_REACH_PALETTE];
	k->pstReach = raw ? NULL : &b->stReach;
	k->W = p->u16Width;
	k->H = p->u16Height;
	k->ClipOn = 1;
	k->Clip_x = p->s16X;
	k->Clip_y = p->s16Y;
	KGPU_OP_TRC("%s() fmt %d, %dx%d at %d:%d, addr 0x%llx, stride %d\n", __func__,
		    k->FormatMode, k->W, k->H, k->Clip_x, k->Clip_y,
		    (unsigned long long)k->Buf_Address[0], k->Buf_Stride[0]);
	return 0;
}

static int kgpu_exe_fill_setting(const ST_KGPU_EXEC_FILL *f, _ST_KER_GPU_FILL_SETTING *k)
{
	memset(k, 0, sizeof(*k));
	k->FillMode = f->u32Mode;
	switch (f->u32Mode) {
	case KER_GPU_FILL_SOLID:
		k->Color = f->u32Color;
		return 0;
	case KER_GPU_FILL_GRADIENT:
		memcpy(k->Raw, f->u8Gradient, sizeof(k->Raw));
		return 0;
	default:
		KGPU_OP_ERR("%s() fill mode %d not support\n", __func__, f->u32Mode);
		return -1;
	}
}

static int kgpu_exe_scale_setting(const ST_KGPU_EXEC_SCALE *s, _ST_KER_GPU_SCLP_SETTING *k)
{
	memset(k, 0, sizeof(*k));
	if (s->u16Marker == KGPU_EXEC_SCALE_HW_MARKER) {
		k->ScaleHwVersion = 1;
		k->ScaleOp_Mode = s->u16OpMode;
		k->LowPass_Mode = s->u16LowPass;
	} else {
		k->ScaleHwVersion = 0;
		k->ScaleOp_Mode = s->u32OpMode;
		k->LowPass_Mode = s->u32LowPass;
	}
	k->ScaleParam1 = s->u32Param1;
	k->ScaleParam2 = s->u32Param2;
	k->Partial_Marker = s->u16PartialMarker;
	k->X1 = s->s16X1;
	k->X2 = s->s16X2;
	k->Y1 = s->s16Y1;
	k->Y2 = s->s16Y2;
	return 0;
}

#define KGPU_BIT(w, n) ((u8)(((w) >> (n)) & 1))

static void kgpu_exe_blend_param(const ST_KGPU_EXEC_BLEND *b, _ST_KER_GPU_BLEND_PARAM *k)
{
	u32 f = b->u32Flags, p = b->u32Param;

	memset(k, 0, sizeof(*k));
	k->Param[0] = KGPU_BIT(f, 17);
	k->Param[1] = KGPU_BIT(f, 20);
	k->Param[2] = b->u8Demultiply;
	k->Param[3] = KGPU_BIT(f, 0);
	k->Param[4] = KGPU_BIT(f, 4);
	k->Param[5] = KGPU_BIT(f, 12);
	k->Param[6] = KGPU_BIT(f, 8);
	k->Param[7] = KGPU_BIT(f, 16);
	k->Param[9] = (p >> 28) & 0xF;
	k->Param[10] = (p >> 24) & 0xF;
	k->Param[13] = (p >> 12) & 0x7;
	k->Param[14] = (p >> 8) & 0x7;
	k->Param[15] = KGPU_BIT(b->u8Xor, 4);
	k->Param[16] = KGPU_BIT(b->u8Xor, 0);
}

static void kgpu_exe_blend_setting(const ST_KGPU_EXEC_BLEND *b, _ST_KER_GPU_BLEND_PARAM *param,
				   _ST_KER_GPU_BLEND_SETTING *k)
{
	u32 f = b->u32Flags;

	memset(k, 0, sizeof(*k));
	k->pstGpuBlendParam = param;
	k->SrcColorKey_Enable = KGPU_BIT(f, 28);
	k->SrcColorKey_CheckAlpha = KGPU_BIT(f, 29);
	k->SrcColorKey = b->u32SrcColorKey;
	k->DstColorKey_Enable = KGPU_BIT(f, 24);
	k->DstColorKey_CheckAlpha = KGPU_BIT(f, 25);
	k->DstColorKey = b->u32DstColorKey;
	k->SrcAlpha_Flag1 = KGPU_BIT(f, 4);
	k->SrcAlpha_Flag2 = KGPU_BIT(f, 0);
	k->ColorMultiply = KGPU_BIT(f, 20);
	k->Flag_Bit12 = KGPU_BIT(f, 12);
	k->Flag_Bit8 = KGPU_BIT(f, 8);
	k->ConstColor = b->u32ConstColor;
	k->BlendParam[0] = KGPU_BIT(f, 17);
	k->BlendParam[1] = KGPU_BIT(f, 16);
	k->BlendParam[2] = b->u8Demultiply;
	k->BlendParam[3] = 1;
	k->Xor_Flag1 = b->u8Xor;
	k->Xor_Flag2 = b->u8Xor;
}

static void kgpu_exe_option_setting(const ST_KGPU_EXEC *e, KER_GPU_PLANE *dst)
{
	if (!e->u8RunLenEnable)
		return;
	dst->RunLen_Enable = 1;
	dst->RunLen_Mode = e->u8RunLenMode;
	dst->RunLen_Boundary = e->u32RunLen;
}

static void kgpu_exe_option_return(ST_KGPU_EXEC *e, const KER_GPU_PLANE *dst)
{
	if (e->u8RunLenEnable)
		e->u32RunLen = dst->RunLen_Size;
}

/* ------------------------------------------------------------------------ */
/* Operations                                                                */

/* Points a plane's batch descriptor at field offsets of the first entry. */
static void _kgpu_set_batch(KER_GPU_PLANE *k, void *entries, u16 count, u8 stride,
			    int ox, int oy, int ow, int oh)
{
	u8 *base = entries;

	k->stBatch.Count = count;
	k->stBatch.Stride = stride;
	k->stBatch.pX = (s16 *)(base + ox);
	k->stBatch.pY = (s16 *)(base + oy);
	k->stBatch.pW = (u16 *)(base + ow);
	k->stBatch.pH = (u16 *)(base + oh);
}

/* Entries of a batch: destination x, y, w, h offsets per plane. */
#define OFS(t, f) ((int)offsetof(t, f))

static int _kgpu_exec_run(struct file *filp, ST_KGPU_EXEC *e, u32 type, void *entries,
			  u16 count)
{
	static const bool uses[5][KGPU_PLANES] = {
		[KGPU_EXEC_FILL] = { false, false, true },
		[KGPU_EXEC_COPY] = { true, false, true },
		[KGPU_EXEC_SCALE] = { true, false, true },
		[KGPU_EXEC_BLEND] = { true, true, true },
		[KGPU_EXEC_ROTATE] = { true, false, true },
	};
	ST_KGPU_BIND *bind;
	KER_GPU_PLANE *planes;
	_ST_KER_GPU_FILL_SETTING fill;
	_ST_KER_GPU_SCLP_SETTING scale;
	_ST_KER_GPU_BLEND_PARAM param;
	_ST_KER_GPU_BLEND_SETTING blend;
	const ST_KGPU_EXEC_PLANE *ep[KGPU_PLANES] = { &e->stSrc1, &e->stSrc2, &e->stDst };
	/*
	 * Raw physical addresses, and reaching past a buffer, need raw I/O
	 * access; everything else the backends hold to the buffers bound here.
	 */
	bool raw = !vyr_perm_rawio(filp);
	int i, ret;

	bind = kcalloc(KGPU_PLANES, sizeof(*bind), GFP_KERNEL);
	planes = kcalloc(KGPU_PLANES, sizeof(*planes), GFP_KERNEL);
	if (!bind || !planes) {
		kfree(bind);
		kfree(planes);
		return -ENOMEM;
	}

	ret = _kgpu_bind_buf(filp, e, uses[type], raw, bind);
	if (ret)
		goto out;
	for (i = 0; i < KGPU_PLANES; i++) {
		if (!uses[type][i])
			continue;
		ret = kgpu_exe_plane_setting(ep[i], &bind[i], raw, &planes[i]);
		if (ret)
			goto out;
	}

	if (entries) {
		switch (type) {
		case KGPU_EXEC_FILL:
			_kgpu_set_batch(&planes[KGPU_DST], entries, count, sizeof(ST_KGPU_BATCH_FILL),
					OFS(ST_KGPU_BATCH_FILL, x), OFS(ST_KGPU_BATCH_FILL, y),
					OFS(ST_KGPU_BATCH_FILL, w), OFS(ST_KGPU_BATCH_FILL, h));
			break;
		case KGPU_EXEC_COPY:
			_kgpu_set_batch(&planes[KGPU_SRC1], entries, count, sizeof(ST_KGPU_BATCH_COPY),
					OFS(ST_KGPU_BATCH_COPY, src_x), OFS(ST_KGPU_BATCH_COPY, src_y),
					OFS(ST_KGPU_BATCH_COPY, w), OFS(ST_KGPU_BATCH_COPY, h));
			_kgpu_set_batch(&planes[KGPU_DST], entries, count, sizeof(ST_KGPU_BATCH_COPY),
					OFS(ST_KGPU_BATCH_COPY, dst_x), OFS(ST_KGPU_BATCH_COPY, dst_y),
					OFS(ST_KGPU_BATCH_COPY, w), OFS(ST_KGPU_BATCH_COPY, h));
			break;
		case KGPU_EXEC_SCALE:
			_kgpu_set_batch(&planes[KGPU_SRC1], entries, count, sizeof(ST_KGPU_BATCH_SCALE),
					OFS(ST_KGPU_BATCH_SCALE, src_x), OFS(ST_KGPU_BATCH_SCALE, src_y),
					OFS(ST_KGPU_BATCH_SCALE, src_w), OFS(ST_KGPU_BATCH_SCALE, src_h));
			_kgpu_set_batch(&planes[KGPU_DST], entries, count, sizeof(ST_KGPU_BATCH_SCALE),
					OFS(ST_KGPU_BATCH_SCALE, dst_x), OFS(ST_KGPU_BATCH_SCALE, dst_y),
					OFS(ST_KGPU_BATCH_SCALE, dst_w), OFS(ST_KGPU_BATCH_SCALE, dst_h));
			break;
		case KGPU_EXEC_BLEND:
			_kgpu_set_batch(&planes[KGPU_SRC1], entries, count, sizeof(ST_KGPU_BATCH_BLEND),
					OFS(ST_KGPU_BATCH_BLEND, src1_x), OFS(ST_KGPU_BATCH_BLEND, src1_y),
					OFS(ST_KGPU_BATCH_BLEND, w), OFS(ST_KGPU_BATCH_BLEND, h));
			_kgpu_set_batch(&planes[KGPU_SRC2], entries, count, sizeof(ST_KGPU_BATCH_BLEND),
					OFS(ST_KGPU_BATCH_BLEND, src2_x), OFS(ST_KGPU_BATCH_BLEND, src2_y),
					OFS(ST_KGPU_BATCH_BLEND, w), OFS(ST_KGPU_BATCH_BLEND, h));
			_kgpu_set_batch(&planes[KGPU_DST], entries, count, sizeof(ST_KGPU_BATCH_BLEND),
					OFS(ST_KGPU_BATCH_BLEND, dst_x), OFS(ST_KGPU_BATCH_BLEND, dst_y),
					OFS(ST_KGPU_BATCH_BLEND, w), OFS(ST_KGPU_BATCH_BLEND, h));
			break;
		}
	}
	if (type == KGPU_EXEC_SCALE && planes[KGPU_SRC1].FormatMode == 2 &&
	    planes[KGPU_DST].FormatMode == 2) {
		planes[KGPU_SRC1].Buf_Address[1] = 0;
		planes[KGPU_DST].Buf_Address[1] = 0;
	}

	switch (type) {
	case KGPU_EXEC_FILL:
		ret = kgpu_exe_fill_setting(&e->stFill, &fill);
		if (ret)
			goto out;
		if (e->stBlend.u32Control & 0xFF) {
			kgpu_exe_blend_param(&e->stBlend, &param);
			kgpu_exe_blend_setting(&e->stBlend, &param, &blend);
			ret = KGPU_OP_Fill(&planes[KGPU_DST], &fill, &blend);
		} else {
			ret = KGPU_OP_Fill(&planes[KGPU_DST], &fill, NULL);
		}
		break;
	case KGPU_EXEC_COPY:
		kgpu_exe_option_setting(e, &planes[KGPU_DST]);
		ret = KGPU_OP_Copy(&planes[KGPU_SRC1], &planes[KGPU_DST]);
		kgpu_exe_option_return(e, &planes[KGPU_DST]);
		break;
	case KGPU_EXEC_SCALE:
		ret = kgpu_exe_scale_setting(&e->stScale, &scale);
		ret = KGPU_OP_Scale_LowPassFilter(&planes[KGPU_SRC1], &planes[KGPU_DST],
						  ret ? NULL : &scale);
		break;
	case KGPU_EXEC_BLEND:
		kgpu_exe_blend_param(&e->stBlend, &param);
		kgpu_exe_blend_setting(&e->stBlend, &param, &blend);
		ret = kgpu_exe_scale_setting(&e->stScale, &scale);
		ret = KGPU_OP_BlendScale(&planes[KGPU_SRC1], &planes[KGPU_SRC2], &planes[KGPU_DST],
					 &blend, ret ? NULL : &scale);
		break;
	case KGPU_EXEC_ROTATE:
		ret = KGPU_OP_FlipRotate(&planes[KGPU_SRC1], &planes[KGPU_DST], e->u8RotateMode);
		break;
	}
out:
	_kgpu_unbind_buf(bind);
	kfree(bind);
	kfree(planes);
	KGPU_OP_TRC("%s() end %d\n", __func__, ret);
	return ret;
}

static int _kgpu_exec_batch(struct file *filp, ST_KGPU_EXEC *e, u32 single, size_t entry_size)
{
	void *entries;
	size_t bytes;
	u16 count;
	int ret;

	/* A negative count would be a negative byte size. */
	if (e->s32BatchNum < 0) {
		KGPU_ERR("fail copy from user \n");
		return -EFAULT;
	}
	/* The engine walks the low 16 bits; nothing past them is copied. */
	count = (u16)(e->s32BatchNum & KGPU_BATCH_MAX);
	/* No rectangles: the single operation on the planes' own. */
	if (!count)
		return _kgpu_exec_run(filp, e, single, NULL, 0);
	bytes = (size_t)count * entry_size;
	entries = kvmalloc(bytes, GFP_KERNEL | __GFP_NOWARN);
	if (!entries)
		return -ENOMEM;
	if (copy_from_user(entries, u64_to_user_ptr(e->u64BatchEntries), bytes)) {
		KGPU_ERR("fail copy from user \n");
		kvfree(entries);
		return -EFAULT;
	}
	ret = _kgpu_exec_run(filp, e, single, entries, count);
	kvfree(entries);
	return ret;
}

static int kgpu_exec_fill_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_run(f, e, KGPU_EXEC_FILL, NULL, 0);
}

static int kgpu_exec_copy_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_run(f, e, KGPU_EXEC_COPY, NULL, 0);
}

static int kgpu_exec_scale_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_run(f, e, KGPU_EXEC_SCALE, NULL, 0);
}

static int kgpu_exec_blend_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_run(f, e, KGPU_EXEC_BLEND, NULL, 0);
}

static int kgpu_exec_rotate_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_run(f, e, KGPU_EXEC_ROTATE, NULL, 0);
}

static int kgpu_exec_batchfill_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_batch(f, e, KGPU_EXEC_FILL, sizeof(ST_KGPU_BATCH_FILL));
}

static int kgpu_exec_batchcopy_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_batch(f, e, KGPU_EXEC_COPY, sizeof(ST_KGPU_BATCH_COPY));
}

static int kgpu_exec_batchscale_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_batch(f, e, KGPU_EXEC_SCALE, sizeof(ST_KGPU_BATCH_SCALE));
}

static int kgpu_exec_batchblend_ioctl(struct file *f, ST_KGPU_EXEC *e)
{
	return _kgpu_exec_batch(f, e, KGPU_EXEC_BLEND, sizeof(ST_KGPU_BATCH_BLEND));
}

int kgpu_exec_ioctl(struct file *filp, ST_KGPU_EXEC *pstExec)
{
	static int (*const handlers[KGPU_EXEC_TYPE_NUM])(struct file *, ST_KGPU_EXEC *) = {
		kgpu_exec_fill_ioctl, kgpu_exec_copy_ioctl, kgpu_exec_scale_ioctl,
		kgpu_exec_blend_ioctl, kgpu_exec_rotate_ioctl, kgpu_exec_batchfill_ioctl,
		kgpu_exec_batchcopy_ioctl, kgpu_exec_batchscale_ioctl, kgpu_exec_batchblend_ioctl,
	};

	if (!pstExec) {
		KGPU_ERR("Input argument point is NULL !!!!! \n");
		return -EFAULT;
	}
	KGPU_OP_TRC("%s() Exec Op Type = %d\n", __func__, pstExec->u32Type);
	if (pstExec->u32Type >= KGPU_EXEC_TYPE_NUM) {
		KGPU_ERR("Not Supported Exec Type : %d\n", pstExec->u32Type);
		return -ENOEXEC;
	}
	return handlers[pstExec->u32Type](filp, pstExec);
}
