# The host's half of the updater scenarios (run.d/60-fwupdate), sourced by
# scripts/test-vm: the disks the VM gets and, after its boot, the checks that
# look at them from outside.
#
# Each scenario has a disk of its own, the set's eMMC: a GPT made by sgdisk
# with misc (erased, all ones), apdat, boot, kernel, logo and spare. The
# multi-image update rewrites the table (rootfs, vendor and user take the
# place of spare) and fills every partition. The data disk (an ext4 file
# system, serial "crv-data") carries the updater, Debian's tools, the art,
# the images, the payloads to compare with, and takes the results back. The
# standby controller's SPI flash of "stbc" is the test build's simulated MTD
# device over a file.

fwup_new_table="misc;2048
apdat;81920
boot;2048
kernel;32768
logo;4096
rootfs;32768
vendor;16384
user;0"

# fwup_disk <file>: a pristine eMMC.
fwup_disk() {
	rm -f "$1"
	truncate -s 128M "$1"
	sgdisk -o -n 1:2048:+1M -c 1:misc -n 2:0:+40M -c 2:apdat -n 3:0:+1M -c 3:boot \
		-n 4:0:+16M -c 4:kernel -n 5:0:+2M -c 5:logo -n 6:0:0 -c 6:spare "$1" >/dev/null
	head -c 1M /dev/zero | tr '\0' '\377' | dd of="$1" bs=512 seek=2048 conv=notrunc status=none
}

# fwup_tools: Debian's arm64 e2fsprogs and dosfstools with the libraries and
# loader they need, fetched once into the private apt state of test-vm.
fwup_tools() {
	local t=$cache/tools pkgs="e2fsprogs libext2fs2 libcom-err2 libblkid1 libuuid1 libc6 dosfstools"
	[ "$(cat "$t/packages" 2>/dev/null)" = "$pkgs" ] && return 0
	local apt=$cache/apt x
	rm -rf "$apt/tools" "$t"
	mkdir -p "$apt/tools" "$t/lib" "$t/sbin"
	(cd "$apt/tools" && apt-get "${apt_opts[@]}" download $pkgs >"$apt/tools.log" 2>&1) || return 1
	x=$apt/tools/x
	for deb in "$apt/tools"/*.deb; do dpkg-deb -x "$deb" "$x"; done
	cp -a "$x"/lib/aarch64-linux-gnu/{ld-linux-aarch64.so.1,libc.so.6,libcom_err.so.2*,libe2p.so.2*,libext2fs.so.2*} "$t/lib/"
	cp -a "$x"/usr/lib/aarch64-linux-gnu/{libblkid.so.1*,libuuid.so.1*} "$t/lib/"
	cp -a "$x"/sbin/{mke2fs,mkfs.ext4,e2fsck,resize2fs,dumpe2fs,mkfs.fat,mkfs.vfat,fsck.fat,fsck.vfat} "$t/sbin/"
	cp "$x/etc/mke2fs.conf" "$t/"
	echo "$pkgs" >"$t/packages"
}

# fwup_prepare: the data disk and the scenarios' disks in $work/fwup.
fwup_prepare() {
	local d=$work/fwup fw=$work/fwup/data mkimg=$top/build/dev/tests/support/imgbuilder/crv_mkimg
	local emmc=/dev/crv-part-name
	rm -rf "$d"
	mkdir -p "$fw"/{bin,img,pay,exp,out,res} "$d/src/rootfs/etc" "$d/src/vendor/vendor/lib"
	cp "$top/build/armhf/tests/e2e/fwupdate_devsim" "$fw/bin/fwupdate"
	cp -r "$top/res/images" "$fw/res/"
	cp -a "$cache/tools" "$fw/tools"

	# Payloads: random bytes copied as they are, numbers to decompress, file
	# systems and an archive.
	head -c 786432 /dev/urandom >"$fw/pay/boot.bin"
	head -c 100000 /dev/urandom >"$fw/pay/stbc.bin"
	# Skipped by the updater, but checked with the rest: it keeps the check
	# long enough for the frames taken meanwhile.
	head -c 25165824 /dev/urandom >"$d/icon.bin"
	seq 1 3000000 | head -c 12582912 >"$fw/pay/kernel.raw"
	gzip -9 -n -c "$fw/pay/kernel.raw" >"$d/kernel.gz"
	seq 5000000 -3 1 | head -c 1572864 >"$fw/pay/logo.raw"
	bzip2 -c "$fw/pay/logo.raw" >"$d/logo.bz2"
	head -c 2097152 /dev/urandom >"$d/src/rootfs/blob"
	seq 1 50000 >"$d/src/rootfs/etc/numbers"
	cp "$top"/res/images/*.png "$d/src/rootfs/etc/"
	mkfs.ext4 -q -F -b 4096 -d "$d/src/rootfs" "$d/rootfs.ext4" 12M
	img2simg "$d/rootfs.ext4" "$d/rootfs.simg"
	head -c 300000 /dev/urandom >"$d/src/vendor/vendor/lib/libvendor.so"
	seq 1 20000 >"$d/src/vendor/vendor/build.prop"
	tar czf "$d/vendor.tgz" -C "$d/src/vendor" vendor
	(cd "$d/src/rootfs" && find . -type f | sort | xargs md5sum) >"$fw/exp/rootfs.md5"
	(cd "$d/src/vendor/vendor" && find . -type f | sort | xargs md5sum) >"$fw/exp/vendor.md5"
	printf '%s\n' "$fwup_new_table" >"$d/part_tbl.txt"

	local table=(--image part_tbl --target /dev/mmcblk0 --file "$d/part_tbl.txt")
	local boot=(--image boot --target $emmc/boot --file "$fw/pay/boot.bin")
	"$mkimg" -o "$fw/img/main.img" "${table[@]}" \
		--image stbc --target /dev/mtd-stbc --file "$fw/pay/stbc.bin" \
		--image ostrel --data bypassed \
		--image install_icon --file "$d/icon.bin" \
		"${boot[@]}" \
		--image kernel --target $emmc/kernel --compress gzip --file "$d/kernel.gz" \
		--image gray_image --data "logo" \
		--image logo --target $emmc/logo --compress bzip2 --file "$d/logo.bz2" \
		--image rootfs --target $emmc/rootfs --compress sparse --param SPARSE-EXTEND --file "$d/rootfs.simg" \
		--image vendor --target $emmc/vendor --compress tgz --param EXT4 --file "$d/vendor.tgz" \
		--image user --target $emmc/user --param FORMAT-VFAT --data "" >/dev/null
	"$mkimg" -o "$fw/img/busy.img" "${table[@]}" "${boot[@]}" >/dev/null
	"$mkimg" -o "$fw/img/md5.img" --wrong-digest "${table[@]}" "${boot[@]}" >/dev/null
	head -c 23068672 /dev/urandom >"$fw/pay/spare.bin"
	"$mkimg" -o "$fw/img/cut.img" --image kernel --target $emmc/kernel --file "$fw/pay/kernel.raw" \
		--image spare --target $emmc/spare --file "$fw/pay/spare.bin" >/dev/null
	"$mkimg" -o "$fw/img/gray.img" "${boot[@]}" \
		--image gray_image --data "$(printf 'kernel\nlogo\napdat\n')" \
		--image kernel --target $emmc/kernel --compress gzip --file "$d/kernel.gz" \
		--image logo --target $emmc/logo --file "$fw/pay/logo.raw" >/dev/null

	local s
	for s in main busy md5 gray cut; do fwup_disk "$d/emmc-$s.img"; done
	# The sectors the last partitions get, as the kernel will show them.
	sgdisk -i 6 "$d/emmc-main.img" | sed -n 's/^Partition size: \([0-9]*\) sectors.*/\1/p' >"$fw/exp/spare-sectors"
	# user takes what the others leave of the sectors between 2048 and S - 34.
	echo $((262144 - 2081 - 2048 - 81920 - 2048 - 32768 - 4096 - 32768 - 16384)) >"$fw/exp/user-sectors"
	mkfs.ext4 -q -F -L crvfw -d "$fw" "$d/data.img" 320M
}

# fwup_drives <scenario>...: qemu's arguments for the data disk and the
# scenarios' disks.
fwup_drives() {
	local s
	echo "-drive file=$work/fwup/data.img,if=none,format=raw,id=crv-data"
	echo "-device virtio-blk-device,drive=crv-data,serial=crv-data"
	for s in "$@"; do
		echo "-drive file=$work/fwup/emmc-$s.img,if=none,format=raw,id=crv-$s"
		echo "-device virtio-blk-device,drive=crv-$s,serial=crv-$s"
	done
}

# fwup_collect <boot>: what the boot left on the disks, judged from outside;
# prints "vm: PASS/FAIL" lines.
fwup_collect() {
	local boot=$1 d=$work/fwup out=$work/fwup/out
	rm -rf "$out"
	mkdir -p "$out"
	debugfs -R "rdump /out $out" "$d/data.img" >/dev/null 2>&1
	table() { sgdisk -p "$1" 2>/dev/null | awk 'f { printf "%s;%d\n", $7, $3 - $2 + 1 } /^Number/ { f = 1 }'; }
	verdict() { if [ "$2" = "$3" ]; then echo "vm: PASS $1"; else echo "vm: FAIL $1: got \"$2\", wanted \"$3\""; fi; }
	if [ "$boot" = full ]; then
		local want
		want=$(printf '%s\n' "$fwup_new_table" | sed '$d')
		verdict fwupdate-main-gpt "$(table "$d/emmc-main.img" | sed '$d')" "$want"
		verdict fwupdate-main-gpt-valid "$(sgdisk -v "$d/emmc-main.img" | grep -c '^No problems found')" 1
		verdict fwupdate-busy-gpt "$(table "$d/emmc-busy.img" | sed '$d')" "$want"
		verdict fwupdate-md5-gpt "$(table "$d/emmc-md5.img" | cut -d';' -f1 | tr '\n' ' ')" \
			"misc apdat boot kernel logo spare "
		rm -f "$work"/fwupdate-*.png
		if [ -f "$out/out/frames/frames" ]; then
			"$top/build/dev/tests/e2e/vm_frames" "$top/res/images" "$out/out/frames" "$work"
		else
			echo "vm: FAIL fwupdate-frames: no frames came back"
		fi
	fi
	cp "$out"/out/*.log "$work/" 2>/dev/null
	return 0
}
