#!/usr/bin/env bash
# Discovery at scale through the real window, in labs made here:
#   discovery-many.sh LAB CAMSIM TEST nics    eight NICs on eight segments, a
#       camera on each, plus one in another subnet on nic0's segment that
#       broadcasts its acknowledge and one on nic1's that answers both ways;
#       the window runs as an unprivileged user
#   discovery-many.sh LAB CAMSIM TEST fleet   750 cameras on one segment
#   discovery-many.sh LAB CAMSIM TEST bench_nics   Refresh with 1, 4 and 8 NICs
set -euo pipefail
lab=$1 camsim=$2 test=$3 case=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/orvmany.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
topology=$work/many.lab
if [ "$case" = fleet ]; then
  { echo "segment a"; echo "host nic0 a 192.0.2.1/24"
    echo "camera fa a 192.0.2.2/24 --fleet 250 --serial FA"
    echo "camera fb a 198.51.100.2/24 --fleet 250 --serial FB"
    echo "camera fc a 203.0.113.2/24 --fleet 250 --serial FC"; } >"$topology"
else
  for s in 0 1 2 3 4 5 6 7; do
    echo "segment s$s"
    echo "host nic$s s$s 192.0.2.$((32 * s + 1))/27"
    echo "camera cam$s s$s 192.0.2.$((32 * s + 10))/27 --serial NIC$s"
  done >"$topology"
  { echo "camera bcast s0 203.0.113.50/24 --serial BCAST --broadcast-ack"
    echo "camera twice s1 192.0.2.50/27 --serial TWICE --broadcast-ack --ack-both-ways"; } >>"$topology"
fi
# 750 cameras would flood the debug stream (and QtTest stops printing).
run=(env QT_LOGGING_RULES=orvanta.debug=false "$test" "$case")
if [ "$case" = nics ]; then
  # Not root: the broadcast acknowledges must be received without privileges.
  cp "$test" "$work/test" && chmod 755 "$work/test" && install -m 666 /dev/null "$work/setting.ini"
  mkdir -m 777 "$work/home"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups
       env HOME="$work/home" XDG_RUNTIME_DIR="$work/home" "$work/test" "$case")
fi
"$lab" --camsim "$camsim" "$topology" -- env QT_QPA_PLATFORM=offscreen "${run[@]}"
