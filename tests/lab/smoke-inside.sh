#!/usr/bin/env bash
# Runs inside the smoke lab's host namespace: discovery through both NICs,
# the camera on the other subnet moved by FORCEIP and reached by unicast,
# and a flash dump on request.
set -euo pipefail
probe=$1
echo "LAB_PREFIX=$LAB_PREFIX LAB_DIR=$LAB_DIR"
check() { if ! eval "$1"; then echo "smoke: FAILED: $1" >&2; exit 1; fi; }

found=$("$probe" discover 192.0.2.1 198.51.100.1)
echo "$found"
check '[ "$(wc -l <<<"$found")" -eq 2 ]'
check 'grep -q "^via=192.0.2.1 ip=192.0.2.10 mask=255.255.255.0 .*mac=02:00:00:00:10:01 config=5 serial=SMOKE1 user=cam1$" <<<"$found"'
check 'grep -q "^via=198.51.100.1 ip=203.0.113.20 mask=255.255.255.0 .*serial=SMOKE2 user=cam2$" <<<"$found"'
# The discovery reached each camera as a broadcast from its own segment only.
check 'grep -q "^rx cmd=0x0002 id=291 len=16 from=192.0.2.1:[0-9]* to=255.255.255.255$" "$LAB_DIR/cam1.log"'
check '! grep -q "from=198.51.100.1" "$LAB_DIR/cam1.log"'

# Move cam2 into nic1's subnet; a FORCEIP for cam1's MAC on cam2's segment reaches no one.
check '[ "$("$probe" forceip 198.51.100.1 02:00:00:00:10:02 198.51.100.20 255.255.255.0 0.0.0.0)" = "ack status=0x0000 code=0x0005 id=0x0001" ]'
check '! "$probe" forceip 198.51.100.1 02:00:00:00:10:01 198.51.100.21 255.255.255.0 0.0.0.0'
check '[ "$("$probe" readreg 198.51.100.1 198.51.100.20)" = "value=0x00010002" ]'
check '"$probe" discover 198.51.100.1 | grep -q "ip=198.51.100.20 .*serial=SMOKE2"'
check 'grep -q "^ip-hook 198.51.100.20 255.255.255.0 0.0.0.0$" "$LAB_DIR/cam2.log"'
check '! grep -q "ip-hook\|forceip 198" "$LAB_DIR/cam1.log"'

# Flash dump on request (written aside and renamed, so its size tells it is complete).
kill -USR1 "$(cat "$LAB_DIR/cam1.pid")"
for _ in $(seq 100); do
  [ "$(stat -c %s "$LAB_DIR/cam1.flash" 2>/dev/null || echo 0)" -eq 16777216 ] && break
  sleep 0.1
done
check '[ "$(stat -c %s "$LAB_DIR/cam1.flash")" -eq 16777216 ]'
echo "smoke: inside checks passed"
