#!/bin/sh
# Checks crv_mkimg's output with standard tools. Arguments: the command that
# runs crv_mkimg (possibly behind an emulator), then a scratch folder.
set -eu
dir=$2
mkdir -p "$dir"
img=$dir/cli.img
fail() { echo "FAIL: $*"; exit 1; }
field() { dd if="$img" bs=1 skip=$(($1)) count=$2 status=none | tr -d '\0'; }

printf 'from a file' >"$dir/payload"
$1 -o "$img" --image boot --target /dev/mmcblk0p3 --compress gzip --offset 512 \
	--param "root=/dev/mmcblk0p8,rw" --data "hello" --image sys_run --file "$dir/payload"
[ "$(field 0 4)" = TIMG ] || fail magic
[ "$(field 0x140 16)" = boot ] || fail name
[ "$(field 0x1a4 64)" = "root=/dev/mmcblk0p8,rw" ] || fail param
[ "$(field 0x5a8 5)" = hello ] || fail payload
[ "$(field $((0x5ad + 0x20)) 16)" = sys_run ] || fail second name
[ "$(field $((0x5ad + 0x488)) 11)" = "from a file" ] || fail file payload
[ "$(stat -c %s "$img")" = $((0x120 + 2 * 0x488 + 16)) ] || fail size
want=$(tail -c +289 "$img" | md5sum | cut -c1-32)
got=$(od -An -tx1 -j16 -N16 "$img" | tr -d ' \n')
[ "$want" = "$got" ] || fail "digest $got, md5sum $want"

$1 -o "$img" --wrong-digest --image a --data x
got=$(od -An -tx1 -j16 -N16 "$img" | tr -d ' \n')
[ "$(tail -c +289 "$img" | md5sum | cut -c1-32)" != "$got" ] || fail wrong digest
$1 -o "$img" --short-header 100 --image a --data x
[ "$(stat -c %s "$img")" = 100 ] || fail short header

if $1 -o "$img" --target x 2>/dev/null; then fail "image option before --image"; fi
rm -rf "$dir"
echo ok
