#!/usr/bin/env bash
# What keeps the lab safe and its verdicts true: it hands back the command's
# status and leaves no namespace behind, it refuses addresses outside the
# documentation ranges, and private-netns refuses to run beside an interface.
#   lab-checks.sh SCRIPTS_DIR CAMSIM
set -uo pipefail
scripts=$1 camsim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "lab-checks: FAILED: $*" >&2; exit 1; }
lab() { "$scripts/lab" --camsim "$camsim" "$work/t.lab" -- "$@" >"$work/out" 2>&1; }

printf 'segment s\nhost eth1 s 203.0.113.1/24\ncamera c1 s 203.0.113.2/24\n' >"$work/t.lab"
lab sh -c 'echo "prefix=$LAB_PREFIX"; exit 7'
status=$?
prefix=$(sed -n 's/^prefix=//p' "$work/out")
[ "$status" -eq 7 ] || fail "the command's status 7 came back as $status"
[ -n "$prefix" ] && ! ip netns list | grep -q "^$prefix-" || fail "namespaces of $prefix left behind"

for bad in "host nic0 s 10.1.2.3/24" "host nic0 s 192.0.2.1/16" "camera c s 192.0.2.255/24"; do
  printf 'segment s\n%s\n' "$bad" >"$work/t.lab"
  lab sh -c 'echo RAN'
  status=$?
  [ "$status" -eq 2 ] && ! grep -q RAN "$work/out" || fail "'$bad' was not refused (status $status)"
done

unshare --net sh -c "ip link add orv0 type veth peer name orv1 && '$scripts/private-netns' true" 2>/dev/null &&
  fail "private-netns ran beside an interface"
echo "lab-checks: passed"
