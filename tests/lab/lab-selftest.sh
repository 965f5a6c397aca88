#!/usr/bin/env bash
# The lab script's own checks, run from outside the lab:
#   lab-selftest.sh LAB CAMSIM PROBE CASE
# CASE: smoke   the smoke lab passes and leaves no namespace behind
#       status  the command's exit status comes back, and teardown happens
#       refuse  a topology outside the lab's address ranges is refused
#       signal  SIGTERM to the lab tears everything down and dumps the flash
#       cleanup --cleanup removes what a vanished lab left, and not a live lab's
set -uo pipefail
lab=$1 camsim=$2 probe=$3 case=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "lab-selftest($case): FAILED: $*" >&2; exit 1; }

# Namespaces of one lab, by its prefix.
leftovers() { ip netns list | awk '{print $1}' | grep "^$1-" || true; }
prefix_of() { sed -n 's/.*LAB_PREFIX=\([^ ]*\).*/\1/p' "$1" | head -1; }
labdir_of() { sed -n 's/.*LAB_DIR=\([^ ]*\).*/\1/p' "$1" | head -1; }

case $case in
smoke)
  LAB_KEEP=1 "$lab" --camsim "$camsim" "$here/smoke.lab" -- "$here/smoke-inside.sh" "$probe" >"$work/out" 2>&1
  status=$?
  cat "$work/out"
  prefix=$(prefix_of "$work/out"); dir=$(labdir_of "$work/out")
  [ -n "$prefix" ] && [ -n "$dir" ] || fail "no LAB_PREFIX/LAB_DIR seen"
  trap 'rm -rf "$work" "$dir"' EXIT
  [ "$status" -eq 0 ] || fail "lab exited with $status"
  [ -z "$(leftovers "$prefix")" ] || fail "namespaces left: $(leftovers "$prefix")"
  # The cameras were stopped gently: each wrote its flash at exit.
  for cam in cam1 cam2; do
    [ "$(stat -c %s "$dir/$cam.flash" 2>/dev/null)" = 16777216 ] || fail "$cam.flash not written at exit"
    tail -1 "$dir/$cam.log" | grep -qx exit || fail "$cam did not exit cleanly"
  done
  ;;
status)
  cat >"$work/one.lab" <<'EOT'
segment s
host eth1 s 203.0.113.1/24
camera c1 s 203.0.113.2/24
EOT
  "$lab" --camsim "$camsim" "$work/one.lab" -- sh -c 'echo "LAB_PREFIX=$LAB_PREFIX LAB_DIR=$LAB_DIR"; ip -o addr show eth1; exit 7' >"$work/out" 2>&1
  status=$?
  cat "$work/out"
  [ "$status" -eq 7 ] || fail "exit status $status, expected 7"
  grep -q "eth1 *inet 203.0.113.1/24" "$work/out" || fail "command did not run in the host namespace"
  prefix=$(prefix_of "$work/out"); dir=$(labdir_of "$work/out")
  [ -n "$prefix" ] || fail "no LAB_PREFIX seen"
  [ -z "$(leftovers "$prefix")" ] || fail "namespaces left: $(leftovers "$prefix")"
  [ ! -e "$dir" ] || fail "$dir not removed"
  ;;
refuse)
  for bad in "host nic0 s 10.1.2.3/24" "host nic0 s 192.0.2.1/16" "host nic0 s 192.0.2.255/24" \
             "camera c s 192.0.2.5/24 --ip-hook /bin/true" "host nic0 nowhere 192.0.2.1/24" \
             "host nic0 s 192.0.2.1/24 extra" "router r s 192.0.2.1/24"; do
    printf 'segment s\n%s\n' "$bad" >"$work/bad.lab"
    "$lab" --camsim "$camsim" "$work/bad.lab" -- sh -c 'echo RAN' >"$work/out" 2>&1
    status=$?
    cat "$work/out"
    [ "$status" -eq 2 ] || fail "'$bad' gave status $status, expected 2"
    ! grep -q RAN "$work/out" || fail "'$bad' ran the command"
    grep -q "bad.lab:2" "$work/out" || fail "'$bad' refused without naming the line"
  done
  ;;
signal)
  cat >"$work/one.lab" <<'EOT'
segment s
host eth1 s 192.0.2.1/24
camera c1 s 192.0.2.2/24
EOT
  LAB_KEEP=1 "$lab" --camsim "$camsim" "$work/one.lab" -- \
    sh -c 'echo "LAB_PREFIX=$LAB_PREFIX LAB_DIR=$LAB_DIR"; echo started >"$0"; sleep 60' "$work/started" >"$work/out" 2>&1 &
  labpid=$!
  for _ in $(seq 200); do [ -e "$work/started" ] && break; sleep 0.05; done
  [ -e "$work/started" ] || { kill -TERM "$labpid"; fail "command never started"; }
  kill -TERM "$labpid"
  wait "$labpid"
  status=$?
  cat "$work/out"
  prefix=$(prefix_of "$work/out"); dir=$(labdir_of "$work/out")
  trap 'rm -rf "$work" "$dir"' EXIT
  [ "$status" -eq 143 ] || fail "exit status $status, expected 143"
  [ -z "$(leftovers "$prefix")" ] || fail "namespaces left: $(leftovers "$prefix")"
  [ "$(stat -c %s "$dir/c1.flash" 2>/dev/null)" = 16777216 ] || fail "c1.flash not written"
  ;;
cleanup)
  sh -c 'exit 0' & gone=$!; wait "$gone"   # a pid that no longer runs
  ip netns add "orv$gone-left" || fail "cannot add a namespace"
  ip netns add "orv$$-live" || fail "cannot add a namespace"
  "$lab" --cleanup
  remaining=$(ip netns list | awk '{print $1}')
  ip netns del "orv$$-live" 2>/dev/null
  ! grep -qx "orv$gone-left" <<<"$remaining" || { ip netns del "orv$gone-left"; fail "stale namespace kept"; }
  grep -qx "orv$$-live" <<<"$remaining" || fail "a live lab's namespace was deleted"
  ;;
*) fail "unknown case" ;;
esac
echo "lab-selftest($case): passed"
