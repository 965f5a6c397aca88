#!/usr/bin/env bash
# The parameter writer's lab: three cameras whose flash starts as 16 MiB of
# 'Z' (0x5A), so that untouched sectors can be told from written ones.
#   param-lab.sh LAB CAMSIM TEST [ARGS...]
#   v23   version 2.3: verified, 37-sector layout for a 1.3 file
#   v41   version 4.1: 12-sector layout at 0x200000, not verified
#   bad5  version 2.3, corrupts flash sector 0x185 (image sector 5) when programmed
set -euo pipefail
lab=$1 camsim=$2
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/orvparam.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 16777216 /dev/zero | tr '\0' 'Z' >"$work/prefill.flash"
cat >"$work/param.lab" <<TOPOLOGY
segment a
host nic0 a 192.0.2.1/24
camera v23 a 192.0.2.21/24 --version 2.3 --serial V23 --flash-in $work/prefill.flash
camera v41 a 192.0.2.22/24 --version 4.1 --serial V41 --flash-in $work/prefill.flash
camera bad5 a 192.0.2.23/24 --version 2.3 --serial BAD5 --corrupt-sector 0x185 --flash-in $work/prefill.flash
TOPOLOGY
status=0
"$lab" --camsim "$camsim" "$work/param.lab" -- env QT_QPA_PLATFORM=offscreen "$@" || status=$?
exit "$status"
