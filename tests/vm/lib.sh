# Helpers of the VM stage's checks (sourced).

pass() { echo "vm: PASS $1"; }
fail() { echo "vm: FAIL $1: $2"; }

# check <name> <command...>: PASS when the command succeeds, else FAIL with
# the last line it printed.
check() {
	local name=$1 out
	shift
	if out=$("$@" 2>&1); then
		pass "$name"
	else
		fail "$name" "$(echo "$out" | tail -n 1)"
	fi
}

# Prints the kernel's log since the last call and clears it.
kernel_log() {
	dmesg -c
}

# The kernel log since the last kernel_log, without printing or clearing it.
kernel_log_peek() {
	dmesg
}

# The OSD block's window is RAM here: the platform's vsync takes its update
# requests as the block would.
load_modules() {
	insmod /lib/modules/crv_platform.ko osd_regs=0xfc0d0000 "$@" && insmod /lib/modules/vyr_gfx.ko
}

# A framebuffer console holds the planes it draws on, and so their module:
# it is unbound first, as an administrator would before the unload.
unbind_fbcon() {
	local vt
	for vt in /sys/class/vtconsole/vtcon*; do
		grep -q "frame buffer" "$vt/name" 2>/dev/null || continue
		[ "$(cat "$vt/bind")" = 1 ] && echo 0 >"$vt/bind"
	done
	return 0
}

unload_modules() {
	unbind_fbcon
	rmmod vyr_gfx && rmmod crv_platform
}

# Asks kmemleak for a scan and prints what it found.
kmemleak_scan() {
	sleep 6	# kmemleak reports objects older than 5 s
	echo scan >/sys/kernel/debug/kmemleak
	cat /sys/kernel/debug/kmemleak
}
