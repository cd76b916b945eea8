#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the .deb from the build in $1, checks it with lintian, unpacks it into a throwaway
# root, lays out the control's folder as the package's postinst does, and runs the sample
# receiving job with the installed program and the installed examples in console mode.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(echo "$work"/package/*.deb)
lintian --fail-on error "$deb" || fail "lintian reports an error"

dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/BcpCtrl/printers.json "$work/control/conffiles" || fail "printers.json is not a conffile"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libcairo2 libcups2 libzbar0; do  # the programs, the control's shared object, libcups opened by it, the designer's read-back
    echo "$depends" | grep -q "$library" || fail "Depends lacks $library"
done

root=$work/root
dpkg -x "$deb" "$root"
DPKG_ROOT=$root sh "$work/control/postinst" configure
[ "$(cd "$root/opt/BcpCtrl" && pwd -P)" = "$(cd "$root/etc/BcpCtrl" && pwd -P)" ] || fail "/opt/BcpCtrl is not the control's folder"
for page in mokuren-goods.1 mokuren-cards.1 tsubaki.1 bcpctrl-render.1 bcpctrl-designer.1 zpl-printer-sim.1 bcpctrl-printers.5 bcpctrl-format.5; do
    gzip -t "$root/usr/share/man/man${page##*.}/$page.gz" || fail "man page $page"
done

# A try-out as the README tells it: the examples' formats and virtual printer in the folder.
examples=$root/usr/share/doc/mokuren/examples
cp "$examples"/BcpCtrl/formats/* "$root/etc/BcpCtrl/formats/"
cp "$examples/BcpCtrl/printers.json" "$root/etc/BcpCtrl/"
mkdir -p "$root/opt/DATA"
cp "$examples/DATA/NYUKA.DAT" "$root/opt/DATA/"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY BCPCTRL_DRIVES="C=$root/opt" \
    "$root/usr/bin/mokuren-goods" '/LABEL1 /C:\DATA\NYUKA.DAT /DRV /DRV:TEC B-374' </dev/null || status=$?
[ "$status" = 0 ] || fail "the installed program exited with $status"
labels=$(wc -l <"$root/etc/BcpCtrl/output/TEC_B-374.jsonl")
pictures=$(find "$root/etc/BcpCtrl/output/images" -name 'label-*.png' | wc -l)
[ "$labels" = 12 ] && [ "$pictures" = 12 ] || fail "$labels labels and $pictures pictures of 12 records"
# The designer's checks, without a window, from the installed package and examples.
"$root/usr/bin/bcpctrl-designer" --check "$examples/BcpCtrl/formats/LABEL1.json" \
    --data "$examples/DATA/NYUKA.DAT" --kind NYUKA.DAT >/dev/null || fail "the installed designer's check exited with $?"
echo "installed and issued $labels labels"
