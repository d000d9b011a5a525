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

load_modules() {
	insmod /lib/modules/crv_platform.ko "$@" && insmod /lib/modules/vyr_gfx.ko
}

unload_modules() {
	rmmod vyr_gfx && rmmod crv_platform
}

# Asks kmemleak for a scan and prints what it found.
kmemleak_scan() {
	sleep 6	# kmemleak reports objects older than 5 s
	echo scan >/sys/kernel/debug/kmemleak
	cat /sys/kernel/debug/kmemleak
}
