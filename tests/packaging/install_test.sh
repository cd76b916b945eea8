#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the .deb from the build in $1, checks it with lintian, unpacks it into a throwaway
# root, lays out the control's folder, the operators' group and the spool folder as the
# package's postinst does, and runs the sample receiving job with the installed program and
# the installed examples in console mode, as an operator who is not root. (operator_test.sh
# installs the package with dpkg and runs the README's commands at the installed paths.)
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
# A base system's account files, to which the postinst adds the operators' group.
printf 'root:x:0:\n' >"$root/etc/group"
printf 'root:*::\n' >"$root/etc/gshadow"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$root/etc/passwd"
printf 'root:*:19000:0:99999:7:::\n' >"$root/etc/shadow"
DPKG_ROOT=$root sh "$work/control/postinst" configure
[ "$(cd "$root/opt/BcpCtrl" && pwd -P)" = "$(cd "$root/etc/BcpCtrl" && pwd -P)" ] || fail "/opt/BcpCtrl is not the control's folder"
gid=$(sed -n 's/^bcpctrl:[^:]*:\([0-9]*\):.*/\1/p' "$root/etc/group")
[ -n "$gid" ] || fail "the postinst made no group bcpctrl"
spool=$root/var/spool/bcpctrl
[ "$(stat -c '%a %u %g' "$spool")" = "2775 0 $gid" ] || fail "the spool folder is $(stat -c '%a %u %g' "$spool")"
for page in mokuren-goods.1 mokuren-cards.1 tsubaki.1 bcpctrl-render.1 bcpctrl-designer.1 zpl-printer-sim.1 bcpctrl-printers.5 bcpctrl-format.5; do
    gzip -t "$root/usr/share/man/man${page##*.}/$page.gz" || fail "man page $page"
done

# A try-out as the README tells it: the examples' formats and virtual printer in the folder.
examples=$root/usr/share/doc/mokuren/examples
cp "$examples"/BcpCtrl/formats/* "$root/etc/BcpCtrl/formats/"
cp "$examples/BcpCtrl/printers.json" "$root/etc/BcpCtrl/"
mkdir -p "$root/opt/DATA"
cp "$examples/DATA/NYUKA.DAT" "$root/opt/DATA/"

# Run by an operator in the group bcpctrl, named by number: the throwaway root's accounts are
# not this machine's. Its spool folder stands in for /var/spool/bcpctrl.
operator=60000
while getent passwd "$operator" >/dev/null; do operator=$((operator + 1)); done
chmod 755 "$work"
install -d -o "$operator" "$work/home"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" BCPCTRL_DRIVES="C=$root/opt" \
    BCPCTRL_OUTPUT_DIR="$spool" BCPCTRL_TRACE=trace.jsonl \
    setpriv --reuid="$operator" --regid="$operator" --groups="$gid" \
    "$root/usr/bin/mokuren-goods" '/LABEL1 /C:\DATA\NYUKA.DAT /DRV /DRV:TEC B-374' </dev/null || status=$?
[ "$status" = 0 ] || fail "the installed program exited with $status"
labels=$(wc -l <"$spool/output/TEC_B-374.jsonl")
pictures=$(find "$spool/output/images" -name 'label-*.png' | wc -l)
[ "$labels" = 12 ] && [ "$pictures" = 12 ] || fail "$labels labels and $pictures pictures of 12 records"
grep -q '"op":"ClosePort"' "$spool/trace.jsonl" || fail "no call log in the spool folder"
# What one operator made, the next may add to: the group writes it, whatever the umask.
for made in output output/images output/images/job-0001; do
    [ "$(stat -c '%a %g' "$spool/$made")" = "2775 $gid" ] || fail "$made is $(stat -c '%a %g' "$spool/$made")"
done
for made in output/TEC_B-374.jsonl trace.jsonl output/images/job-0001/label-00001.png; do
    [ "$(stat -c '%a %g' "$spool/$made")" = "664 $gid" ] || fail "$made is $(stat -c '%a %g' "$spool/$made")"
done
# The designer's checks, without a window, from the installed package and examples.
"$root/usr/bin/bcpctrl-designer" --check "$examples/BcpCtrl/formats/LABEL1.json" \
    --data "$examples/DATA/NYUKA.DAT" --kind NYUKA.DAT >/dev/null || fail "the installed designer's check exited with $?"
echo "installed, and an operator issued $labels labels"
