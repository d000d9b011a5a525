/* Test side of the OSD hardware layer (see osd_hw_probe.c). */
#ifndef OSD_HW_PROBE_H
#define OSD_HW_PROBE_H

#include "ker_osd.h"
#include "hal_osd.h"

#define OSD_PROBE_SLOT_OP	0
#define OSD_PROBE_SLOT_LATER	1
#define OSD_PROBE_SLOT_NUL	2

void osd_probe_attach(void);
void osd_probe_detach(void);
ST_KER_OSD_PLANE_CTX *osd_probe_ctx(int p);
ST_DRV_OSD_GLOBAL_SETTING *osd_probe_setting(int p);
int osd_probe_sem_trydown(int p);
void osd_probe_sem_up(int p);
int osd_probe_sem_count(int p);
int osd_probe_slot_kind(int i);
int osd_probe_slot_filled(int i);

#endif
