#!/usr/bin/env bash
# A rollout across three line PCs with Ansible, end to end:
#   fleet-lab.sh LAB CAMSIM CLI SOURCE_DIR
# scripts/lab makes fleet.lab's namespaces (three PCs with a camera segment
# each, a management segment, the controller); each PC runs Debian's OpenSSH
# server with a host key and an authorized key made for the run, and the
# controller runs ansible-core with the collection from ansible/, built and
# installed for the run, and its example playbook rollout.yml (a canary PC,
# then the rest). Checks: every camera of every PC updated byte-exact; a
# second run changes nothing and writes nothing; --check reports what would
# change and writes nothing; a camera failing on the canary PC stops the
# rollout before any other PC is touched. Figures: each PC alone, and the
# rollout's stages, against the slowest PC alone.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${LAB_DIR:-}" ]; then
  for tool in ansible-playbook ansible-galaxy ansible-doc ssh-keygen /usr/sbin/sshd; do
    command -v "$tool" >/dev/null || { echo "fleet lab: $tool is missing"; exit 1; }
  done
  export CLI=$3 SRC=$4 W
  W=$(mktemp -d "${TMPDIR:-/tmp}/orvfleet.XXXXXX")
  [ -n "${FLEET_KEEP:-}" ] || trap 'rm -rf "$W"' EXIT   # FLEET_KEEP=1 keeps the files and logs
  "$1" --camsim "$2" "$here/fleet.lab" -- "$0"
  exit
fi

cd "$W" || exit 1
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
pcs=(pc1 pc2 pc3)
cams=(l1a l1b l2a l2b l3a l3b)
cams_of() { case $1 in pc1) echo l1a l1b ;; pc2) echo l2a l2b ;; pc3) echo l3a l3b ;; esac; }
# FORCEIP, WRITEREG, IPCONFIG, DEVWRITE into the transfer window, programmed sectors.
# Writes to a camera's flash or settings; taking and giving back its control
# privilege (WRITEREG of 0x0a00) is none.
writes() { grep -vE 'rx cmd=0x0082 .*addr=0x0a00 ' "$LAB_DIR/$1.log" |
  grep -cE 'rx cmd=0x(0004|0082|8004) |rx cmd=0xfff0 .*addr=0x0([^0]|0[^2]|02[^7])|^program '; }
commands() { grep -c 'rx cmd=' "$LAB_DIR/$1.log"; }
all_of() { local f=$1 c; for c in "${cams[@]}"; do printf '%s ' "$($f "$c")"; done; }
flash_of() {
  local before; before=$(grep -c '^dump ' "$LAB_DIR/$1.log")
  kill -USR1 "$(cat "$LAB_DIR/$1.pid")"
  for _ in $(seq 200); do [ "$(grep -c '^dump ' "$LAB_DIR/$1.log")" -gt "$before" ] && break; sleep 0.05; done
  echo "$LAB_DIR/$1.flash"
}

# ---- the files: two bitstreams of four sectors, one of six, two parameter files ----
head -c $((4 * 4096 - 300)) /dev/urandom >a_101_top.bit
head -c $((4 * 4096 - 300)) /dev/urandom >b_102_top.bit
head -c $((6 * 4096)) /dev/urandom >c_103_top.bit
head -c $((4 * 4096 - 300)) /dev/urandom >d_104_top.bit
for p in a b; do   # a record in each of the eight sectors a file without version fills
  for s in 0 1 2 3 4 5 6 7; do printf '%X: %s%06X\n' $((s * 0x400 + 0x10)) "$p$p" $((s * 7 + 1)); done >$p.hex
done
head -c $((8 * 4096)) /dev/zero >b.image
for s in 0 1 2 3 4 5 6 7; do
  printf "\xbb$(printf '\\x%02x\\x%02x\\x%02x' 0 0 $((s * 7 + 1)))" | dd of=b.image bs=1 seek=$((s * 4096 + 64)) conv=notrunc status=none
done

# ---- SSH: a server per PC on its management address, keys made for the run ----
ssh-keygen -q -t ed25519 -N '' -f hostkey && ssh-keygen -q -t ed25519 -N '' -f id && cp id.pub authorized_keys
mkdir -p /run/sshd   # the server's privilege separation folder
sshd_pids=()
for i in 1 2 3; do
  mkdir -p pc$i
  cat >pc$i/sshd_config <<CONF
ListenAddress 198.51.100.1$i
HostKey $W/hostkey
AuthorizedKeysFile $W/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PidFile $W/pc$i/sshd.pid
LogLevel INFO
Subsystem sftp /usr/lib/openssh/sftp-server
# Whatever happens, no session writes to the real user's history.
SetEnv XDG_STATE_HOME=$W/pc$i/state
CONF
  ip netns exec "$LAB_PREFIX-pc$i" /usr/sbin/sshd -D -f "$W/pc$i/sshd_config" -E "$W/pc$i/sshd.log" &
  sshd_pids+=($!)
done
trap 'kill "${sshd_pids[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
for i in 1 2 3; do
  for _ in $(seq 100); do (echo >/dev/tcp/198.51.100.1$i/22) 2>/dev/null && break; sleep 0.05; done
done

# ---- the collection, built and installed as an operator would ----
export ANSIBLE_HOME=$W/ansible ANSIBLE_COLLECTIONS_PATH=$W/collections ANSIBLE_PIPELINING=1 \
  ANSIBLE_SSH_CONTROL_PATH_DIR=$W/cp ANSIBLE_LOCAL_TEMP=$W/ltmp ANSIBLE_REMOTE_TEMP=$W/rtmp \
  ANSIBLE_HOST_KEY_CHECKING=0 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_NOCOLOR=1 \
  ANSIBLE_CALLBACK_PLUGINS=$here ANSIBLE_CALLBACKS_ENABLED=fleet_log
ansible-galaxy collection build "$SRC/ansible" --output-path "$W" >/dev/null &&
  ansible-galaxy collection install -p "$W/collections" "$W"/orvanta-cameras-*.tar.gz >/dev/null 2>&1
check "the collection builds and installs" [ -d collections/ansible_collections/orvanta/cameras/plugins/modules ]
documented() { ansible-doc -t module orvanta.cameras.orvanta_cli | grep -q 'EXAMPLES'; }
check "ansible-doc reads the module's documentation" documented
{
  echo '[line_pcs]'
  for i in 1 2 3; do echo "pc$i ansible_host=198.51.100.1$i orvanta_staging=$W/pc$i/staging orvanta_history=$W/pc$i/history.jsonl"; done
  echo '[line_pcs:vars]'
  echo "ansible_user=root"
  echo "ansible_ssh_private_key_file=$W/id"
  echo "ansible_python_interpreter=/usr/bin/python3"
  echo "ansible_ssh_common_args='-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null'"
  echo "orvanta_cli=$CLI"
} >inventory.ini

play() {   # name, the bitstream, the parameter file, then more ansible-playbook arguments
  local name=$1 bitstream=$2 parameters=$3; shift 3
  local t0; t0=$(date +%s.%N)
  FLEET_LOG=$W/$name.jsonl ansible-playbook -i inventory.ini "$SRC/ansible/playbooks/rollout.yml" \
    -e '{"rollout_batches": [1, "100%"], "stage_files": false}' -e bitstream="$W/$bitstream" -e parameters="$W/$parameters" \
    "$@" >"$name.out" 2>&1
  status=$?
  echo "$(date +%s.%N) $t0" | awk -v n="$name" '{printf "  ansible-playbook %-10s %.1f s\n", n, $1 - $2}'
}
events() { jq -c "select($2)" "$W/$1.jsonl"; }   # run, jq condition
task_of() { jq -c "select(.event != \"start\" and .host == \"$2\" and .task == \"$3\")" "$W/$1.jsonl"; }
span() { jq -s '(map(.time) | max) - (map(select(.event == "start")) | map(.time) | min)' "$W/$1.jsonl"; }
recap() { grep -E "^$2 +:" "$1.out" | grep -oE 'changed=[0-9]+ +unreachable=[0-9]+ +failed=[0-9]+' | tr -s ' '; }

# ---- each PC alone (file a): the figures to beat ----
for pc in "${pcs[@]}"; do
  play "alone-$pc" a_101_top.bit a.hex --limit "$pc"
  check "$pc alone: written" [ "$status" = 0 -a "$(recap "alone-$pc" "$pc")" = "changed=2 unreachable=0 failed=0" ]
done

# ---- --check with file b: what would change, nothing written ----
before_writes=$(all_of writes) before_history=$(cat pc*/history.jsonl | wc -l)
play check b_102_top.bit b.hex --check
check "--check: every PC runs" [ "$status" = 0 ]
for pc in "${pcs[@]}"; do
  check "--check: $pc would change every camera" [ "$(task_of check "$pc" "Program the bitstream" | jq -r '.changed, ([.results[].result] | unique | join(","))' | paste -sd' ')" = "true would-change" -a \
    "$(task_of check "$pc" "Write the parameters" | jq -r '[.results[] | .result + " " + (.changed | tostring)] | unique | join(",")')" = "would-change false" ]
done
check "--check: no camera written, no history" [ "$(all_of writes)" = "$before_writes" -a "$(cat pc*/history.jsonl | wc -l)" = "$before_history" ]

# ---- the rollout (file b): every camera byte-exact ----
play rollout b_102_top.bit b.hex
check "rollout: every PC changed" [ "$status" = 0 ] && for pc in "${pcs[@]}"; do
  check "rollout: $pc" [ "$(recap rollout "$pc")" = "changed=2 unreachable=0 failed=0" -a \
    "$(events rollout ".host == \"$pc\" and .results != null" | jq -r '.results[] | .result + " " + (.changed | tostring)' | sort -u)" = "success true" ]
done
holds_b() {   # the bitstream from 0, the parameters' eight sectors from 0x180000
  local f; f=$(flash_of "$1")
  cmp -s -n $((4 * 4096 - 300)) "$f" b_102_top.bit && cmp -s -n $((8 * 4096)) -i $((0x180000)):0 "$f" b.image
}
for c in "${cams[@]}"; do check "rollout: $c holds the bitstream and the parameters" holds_b "$c"; done
sha=$(sha256sum b_102_top.bit | cut -d' ' -f1)
for pc in "${pcs[@]}"; do
  check "rollout: $pc's history has every camera's program, with the file's SHA-256" \
    [ "$(jq -r "select(.sha256 == \"$sha\") | .serial" "$pc/history.jsonl" | sort | paste -sd,)" = "$(cams_of "$pc" | tr 'a-z ' 'A-Z,')" ]
done

# ---- the same again: changed=0 everywhere, nothing written ----
before_writes=$(all_of writes)
play again b_102_top.bit b.hex
for pc in "${pcs[@]}"; do
  check "second run: $pc changed=0" [ "$(recap again "$pc")" = "changed=0 unreachable=0 failed=0" ]
done
check "second run: nothing written" [ "$status" = 0 -a "$(all_of writes)" = "$before_writes" ]
check "second run: every camera unchanged" [ "$(events again '.results != null' | jq -r '.results[].result' | sort -u)" = unchanged ]

# ---- every PC in one batch (file d): the time Ansible adds to the slowest PC ----
play atonce d_104_top.bit a.hex -e '{"rollout_batches": ["100%"]}'
check "one batch: every PC changed" [ "$status" = 0 -a "$(for pc in "${pcs[@]}"; do recap atonce "$pc"; done | sort -u)" = \
  "changed=2 unreachable=0 failed=0" ]

# ---- a camera failing on the canary PC stops the rollout ----
before_commands=$(all_of commands) before_logins=$(grep -c 'Accepted publickey' pc2/sshd.log pc3/sshd.log | paste -sd,)
play canary c_103_top.bit b.hex
check "canary failure: the rollout fails" [ "$status" != 0 ] &&
  check "  on the canary's failing camera" [ "$(task_of canary pc1 "Program the bitstream" | jq -r '.event + " " + .msg')" = \
    "failed 1 of 2 cameras failed: 192.0.2.12 02:00:00:00:00:02 L1B: verify-error: Verify error, please reprogram before power off!(5)" ]
check "  no other PC was reached" [ -z "$(events canary '.host == "pc2" or .host == "pc3"')" -a \
  "$(grep -c 'Accepted publickey' pc2/sshd.log pc3/sshd.log | paste -sd,)" = "$before_logins" ]
after=($(all_of commands)) before=($before_commands)
check "  their cameras got nothing" [ "${after[*]:2}" = "${before[*]:2}" ]

# ---- figures ----
awk -v a1="$(span alone-pc1)" -v a2="$(span alone-pc2)" -v a3="$(span alone-pc3)" \
  -v c="$(jq -s '(map(select(.host == "pc1")) | map(.time) | max) - (map(select(.event == "start")) | map(.time) | min)' rollout.jsonl)" \
  -v r="$(span rollout)" -v o="$(span atonce)" 'BEGIN {
  slowest = a1; if (a2 > slowest) slowest = a2; if (a3 > slowest) slowest = a3
  printf "fleet bench: each PC alone %.1f / %.1f / %.1f s (slowest %.1f s)\n", a1, a2, a3, slowest
  printf "fleet bench: rollout %.1f s = canary pc1 %.1f s + the other two PCs at once %.1f s\n", r, c, r - c
  printf "fleet bench: the two PCs at once / slowest PC alone = %.2f (aim <= 1.2); whole staged rollout / slowest alone = %.2f\n", (r - c) / slowest, r / slowest
  printf "fleet bench: every PC in one batch %.1f s / slowest PC alone = %.2f (aim <= 1.2)\n", o, o / slowest
}'
echo "fleet: $((failures == 0)) passed, $failures failed"
[ "$failures" = 0 ]
