#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's try-out on an installed system, run by operators who are not root: the .deb
# from the build in $1 is installed with dpkg into a copy of this machine that is thrown
# away afterwards (an overlay of / in a mount namespace of this test's own), operator
# accounts are made there, and each runs the sample job at the installed paths:
#   - in the group bcpctrl: the labels, their pictures and the call log in /var/spool/bcpctrl;
#     a second operator adds to the first one's files;
#   - not in it: 1000 at OpenPort, and one line on standard error naming the folder;
#   - a ZPL printer on a serial device of the group dialout (the emulator on a pty): printed
#     for an operator in dialout, refused with one line for one who is not.
# Reports SKIPPED (exit 77) where this machine cannot make such a copy.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

if [ "${1:-}" != --inside ]; then
    build=$1
    [ "$(id -u)" = 0 ] || skip "installing the package needs root"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" || { cat "$work/cpack.log"; fail "cpack"; }
    unshare --mount --propagation private true 2>/dev/null ||
        skip "no mount namespace here (unshare --mount needs CAP_SYS_ADMIN)"
    status=0
    unshare --mount --propagation private "$0" --inside "$work" || status=$?
    exit "$status"
fi

# In the mount namespace: this machine's root, copied on write into $work/upper.
work=$2
root=$work/root
mkdir -p "$work/upper" "$work/overlay-work" "$root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/overlay-work" "$root" 2>/dev/null ||
    skip "overlayfs cannot lay a copy over / here"
for system in proc sys dev; do mount --rbind "/$system" "$root/$system"; done
in_root() { chroot "$root" "$@"; }

# dpkg installs the package as on any Debian machine (man-db's index left alone: it is slow).
rm -f "$root/var/lib/man-db/auto-update"
cp "$work"/package/*.deb "$root/tmp/mokuren.deb"
in_root dpkg -i /tmp/mokuren.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
in_root getent group bcpctrl >/dev/null || fail "the package made no group bcpctrl"
spool_mode=$(in_root stat -c "%a %U %G" /var/spool/bcpctrl)
[ "$spool_mode" = "2775 root bcpctrl" ] || fail "the spool folder is $spool_mode"

# Operators as a site makes them.
in_root useradd --create-home --groups bcpctrl receiving1
in_root useradd --create-home --groups bcpctrl,dialout receiving2
in_root useradd --create-home visitor

# Runs the goods program in console mode as $1 in the folder $2 with the line $3; its
# standard error in $work/err, its exit status echoed.
run_as() {
    local status=0
    in_root env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u BCPCTRL_SYSTEM_DIR -u BCPCTRL_OUTPUT_DIR \
        -u BCPCTRL_DRIVES -u CUPS_SERVER ${trace:+BCPCTRL_TRACE=$trace} \
        runuser -u "$1" -- sh -c 'cd "$1" && exec mokuren-goods "$2"' sh "$2" "$3" </dev/null 2>"$work/err" || status=$?
    echo "$status"
}
# The one "bcpctrl:" line of the last run, which must name $1 and the group $2.
one_refusal() {
    local lines
    lines=$(grep '^bcpctrl: ' "$work/err" || true)
    [ "$(printf '%s\n' "$lines" | grep -c .)" = 1 ] || { cat "$work/err"; fail "not one line on standard error"; }
    case $lines in
        *"$1"*"Permission denied"*"not in group $2"*) ;;
        *) fail "the line does not say what to do: $lines" ;;
    esac
    grep -q 'text=ポートのオープンに失敗しました。発行を中止します。' "$work/err" || fail "no OpenPort message"
    echo "refused, as it should be: $lines"
}

# The README's try-out: the examples into the control's folder, the sample job from them.
examples=/usr/share/doc/mokuren/examples
in_root sh -c "cp $examples/BcpCtrl/formats/* /etc/BcpCtrl/formats/ && cp $examples/BcpCtrl/printers.json /etc/BcpCtrl/"
job='/LABEL1 /DATA\NYUKA.DAT /DRV /DRV:TEC B-374'
spool=$root/var/spool/bcpctrl
trace=trace.jsonl
[ "$(run_as receiving1 "$examples" "$job")" = 0 ] || { cat "$work/err"; fail "receiving1's job failed"; }
[ "$(run_as receiving2 "$examples" "$job")" = 0 ] || { cat "$work/err"; fail "receiving2's job after receiving1's failed"; }
[ "$(wc -l <"$spool/output/TEC_B-374.jsonl")" = 24 ] || fail "not 2 x 12 labels in /var/spool/bcpctrl/output"
for job_folder in job-0001 job-0002; do
    [ "$(find "$spool/output/images/$job_folder" -name 'label-*.png' | wc -l)" = 12 ] || fail "pictures of $job_folder"
done
[ "$(grep -c '"op":"ClosePort"' "$spool/trace.jsonl")" = 2 ] || fail "the call log is not in /var/spool/bcpctrl"
trace=
[ "$(run_as visitor "$examples" "$job")" = 1 ] || fail "a job without the group bcpctrl did not fail"
one_refusal /var/spool/bcpctrl/output bcpctrl

# A ZPL printer on a serial port whose device belongs to dialout, as /dev/ttyUSB0 does.
# chroot itself, not the in_root function, so that $! is the emulator (chroot execs it) and
# the trap stops it rather than a shell around it.
chroot "$root" zpl-printer-sim --pty --out /tmp/zpl-out >"$work/port" 2>/dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
device=$(cat "$work/port")
[ -n "$device" ] || fail "the printer emulator made no pty"
chown root:dialout "$device"
chmod 660 "$device"
printf '{"serialPorts": {"COM1": {"type": "zpl", "device": "%s", "serial": "115200,N,8,1"}}}\n' "$device" >"$root/etc/BcpCtrl/printers.json"
serial_job='/LABEL1 /DATA\NYUKA.DAT /COM /'
[ "$(run_as receiving1 "$examples" "$serial_job")" = 1 ] || fail "a serial job without the group dialout did not fail"
one_refusal "$device" dialout
[ "$(run_as receiving2 "$examples" "$serial_job")" = 0 ] || { cat "$work/err"; fail "receiving2's serial job failed"; }
for _ in $(seq 100); do
    [ "$(cat "$root/tmp/zpl-out/printed.log" 2>/dev/null | wc -l)" -ge 12 ] && break
    sleep 0.1
done
[ "$(wc -l <"$root/tmp/zpl-out/printed.log")" = 12 ] || fail "the serial printer printed $(wc -l <"$root/tmp/zpl-out/printed.log") labels"
echo "operators in bcpctrl issued 24 labels into /var/spool/bcpctrl, one in dialout 12 on the serial printer"
