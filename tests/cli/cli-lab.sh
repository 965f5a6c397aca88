#!/usr/bin/env bash
# orvanta-cli through the real executable in the lab, one scenario a run:
#   cli-lab.sh LAB CAMSIM CLI SCENARIO   (list program param ip refusals changed bench bench32 doctor
#                                         doctor_pc doctor_bench dryrun history control bench_list netfaults)
# Outside the lab it makes the files and the topology and starts scripts/lab,
# which runs this script again inside (LAB_DIR set) for the checks.
# bench: CLI_BENCH_SECTORS (default 8) sectors on 1 camera, then on 8; figures only.
# bench32: the same on 1 camera of a 32-camera fleet, then on all 32.
# bench_list: 750 cameras on three NICs listed with and without who controls them.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${LAB_DIR:-}" ]; then
  lab=$1 camsim=$2
  export CLI=$3 SCENARIO=$4 W
  W=$(mktemp -d "${TMPDIR:-/tmp}/orvcli.XXXXXX")
  trap 'rm -rf "$W"' EXIT
  head -c $((12 * 4096 - 1000)) /dev/urandom >"$W/cam_101_top.bit"        # 12 sectors, the last padded
  head -c $((8 * 4096)) /dev/urandom >"$W/same_102_top.bit"
  printf '\0' | dd of="$W/same_102_top.bit" bs=1 seek=$((5 * 4096 - 1)) conv=notrunc status=none
  head -c $((5 * 4096 - 1)) "$W/same_102_top.bit" >"$W/half.flash"   # sector 4 differs in its last byte
  head -c $((40 * 4096)) /dev/urandom >"$W/long_103_top.bit"
  head -c $((${CLI_BENCH_SECTORS:-8} * 4096)) /dev/urandom >"$W/bench_104_top.bit"
  head -c $((64 * 4096)) /dev/urandom >"$W/lossy_105_top.bit"
  head -c 16777216 /dev/zero | tr '\0' Z >"$W/z.flash"
  truncate -s $((0x180000 + 37 * 4096)) "$W/zero.flash"   # a parameter area of zeros
  topology=$W/t.lab
  case $SCENARIO in
    list) topology=$here/../lab/discovery.lab ;;
    ip) topology=$here/../lab/ipcommands.lab ;;
    program) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      'camera p1 a 192.0.2.11/24 --version 2.3 --serial P1 --drop 2 --late 2 --late-ms 600 --seed 11' \
      'camera p2 a 192.0.2.12/24 --version 2.3 --serial P2 --drop 2 --duplicate 5 --seed 2' \
      'camera p3 a 192.0.2.13/24 --version 2.3 --serial P3 --drop 2 --wrong-id 2 --seed 3' \
      'camera p4 a 192.0.2.14/24 --version 1.2 --serial P4 --drop 2 --seed 4' >"$topology" ;;
    param) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      "camera v23 a 192.0.2.21/24 --version 2.3 --serial V23 --mac 02:00:00:00:0a:bc --flash-in $W/z.flash" \
      "camera v41 a 192.0.2.22/24 --version 4.1 --serial V41 --flash-in $W/z.flash" >"$topology" ;;
    refusals) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      'camera ok a 192.0.2.11/24 --version 2.3 --serial OK' \
      'camera older a 192.0.2.12/24 --version 1.2 --serial OLDER' \
      'camera faulty a 192.0.2.13/24 --version 2.3 --serial FAULTY --corrupt-sector 2' \
      'camera silent a 192.0.2.14/24 --version 2.3 --serial SILENT --wrong-id 100' \
      'camera busy a 192.0.2.15/24 --version 2.3 --serial BUSY --bad-status 100' >"$topology" ;;
    changed) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      "camera same a 192.0.2.31/24 --version 2.3 --serial SAME --flash-in $W/same_102_top.bit" \
      "camera half a 192.0.2.32/24 --version 2.3 --serial HALF --flash-in $W/half.flash" >"$topology" ;;
    bench) { printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24'
      for i in 1 2 3 4 5 6 7 8; do echo "camera b$i a 192.0.2.4$i/24 --version 2.3 --serial B$i"; done
    } >"$topology" ;;
    doctor) printf '%s\n' 'segment a' 'segment b' 'host nic0 a 192.0.2.1/24' 'host nic1 b 198.51.100.1/24' \
      'camera good a 192.0.2.10/24' 'camera off a 203.0.113.30/24 --gateway 203.0.113.1' \
      'camera dup1 a 192.0.2.20/24' 'camera dup2 a 192.0.2.20/24' 'camera wrongid a 192.0.2.30/24 --wrong-id 100' \
      'camera held a 192.0.2.40/24 --heartbeat 600000' 'camera moved a 192.0.2.50/24' \
      'camera card b 192.0.2.1/24' 'camera slow b 198.51.100.20/24 --link-speed 100' \
      'camera dhcp b 169.254.3.4/16 --ipconfig 6' >"$topology" ;;
    doctor_pc) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' 'host nic1 a 192.0.2.2/24' \
      'camera fleet a 192.0.2.10/24 --fleet 100' >"$topology" ;;
    doctor_bench) { echo "segment f"; echo "host nic7 f 169.254.1.1/16"
      for s in 0 1 2 3 4 5 6; do
        echo "segment s$s"; echo "host nic$s s$s 192.0.2.$((32 * s + 1))/27"; echo "camera cam$s s$s 192.0.2.$((32 * s + 10))/27"
      done
      for k in 2 3 4; do echo "camera fleet$k f 169.254.$k.1/16 --fleet 250"; done; } >"$topology" ;;
    bench32) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      'camera fleet a 192.0.2.100/24 --fleet 32 --version 2.3 --serial F' >"$topology" ;;
    dryrun) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      "camera d1 a 192.0.2.51/24 --version 2.3 --serial D1 --flash-in $W/zero.flash" \
      "camera same a 192.0.2.52/24 --version 2.3 --serial SAME --flash-in $W/same_102_top.bit" \
      "camera half a 192.0.2.53/24 --version 2.3 --serial HALF --flash-in $W/half.flash" \
      'camera old a 192.0.2.54/24 --version 1.2 --serial OLD' \
      'camera ipc a 192.0.2.55/24 --serial IPC --gateway 192.0.2.254 --ipconfig 5' >"$topology" ;;
    history) printf '%s\n' 'segment a' 'host nic0 a 192.0.2.1/24' \
      'camera fleet a 192.0.2.61/24 --version 2.3 --serial H --fleet 8' \
      'camera solo a 192.0.2.70/24 --version 2.3 --serial SOLO' >"$topology" ;;
    # The control privilege: held by another application (that names itself,
    # or holds exclusive access and does not), two runs at once, Ctrl+C, a
    # 1000 ms heartbeat with 2 % of requests lost (seed 16 loses two in a
    # row), a camera without the privilege register; on segment b, counting
    # their datagrams, a camera going silent after sector 2 and one taken over
    # in sector 10 (at its 101st datagram) and let go 1 s later.
    control) printf '%s\n' 'segment a' 'segment b' 'host nic0 a 192.0.2.1/24' 'host nic1 b 198.51.100.1/24' \
      'camera held a 192.0.2.51/24 --version 2.3 --serial HELD --held-by 192.0.2.50:50123' \
      'camera anon a 192.0.2.52/24 --version 2.3 --serial ANON --held-by 192.0.2.50:50124 --held-exclusive' \
      'camera twice a 192.0.2.53/24 --version 2.3 --serial TWICE' \
      'camera stop a 192.0.2.54/24 --version 2.3 --serial STOP' \
      'camera lossy a 192.0.2.57/24 --version 2.3 --serial LOSSY --heartbeat 1000 --drop-request 2 --drop-request-run 2 --seed 16' \
      'camera nopriv a 192.0.2.58/24 --version 2.3 --serial NOPRIV --no-privilege' \
      'camera silent b 198.51.100.55/24 --version 2.3 --serial SILENT --heartbeat 1000 --stop-after 31' \
      'camera taken b 198.51.100.56/24 --version 2.3 --serial TAKEN --held-by 198.51.100.60:50000 --held-after 100 --held-for 1000' \
      >"$topology" ;;
    bench_list) for s in 0 1 2; do
        net=(192.0.2 198.51.100 203.0.113)
        echo "segment s$s"; echo "host nic$s s$s ${net[$s]}.1/24"
        echo "camera f$s s$s ${net[$s]}.2/24 --fleet 250 --serial F$s$([ $s = 2 ] && echo ' --held-by 203.0.113.99:40000')"
      done >"$topology" ;;
    # On a, a datagram that is not GVCP, answers 330 and 660 ms late, one after 840 ms of silence; on b, a sender that never stops.
    netfaults) printf '%s\n' 'segment a' 'segment b' 'host nic0 a 192.0.2.1/24' 'host nic1 b 198.51.100.1/24' 'camera junk a 192.0.2.10/24 --serial JUNK --discovery-junk' \
      'camera late1 a 192.0.2.11/24 --serial LATE1 --discovery-delay 250' 'camera late2 a 192.0.2.12/24 --serial LATE2 --discovery-delay 500' \
      'camera late3 a 192.0.2.14/24 --serial LATE3 --discovery-delay 750' 'camera tardy a 192.0.2.13/24 --serial TARDY --discovery-delay 1750' 'camera flood b 198.51.100.10/24 --serial FLOOD --discovery-flood 50' >"$topology" ;;
    *) echo "unknown scenario $SCENARIO"; exit 2 ;;
  esac
  "$lab" --camsim "$camsim" "$topology" -- "$0"
  exit
fi

cd "$W" || exit 1
failures=0
check() {   # description command... : one line per check
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what (last exit ${status:-}: ${err:-})"; failures=$((failures + 1)); fi
}
run() { out=$("$CLI" "$@" 2>"$W/err"); status=$?; err=$(cat "$W/err"); }
has() { grep -qF -- "$2" <<<"$1"; }
lines() { grep -cE -- "$2" <<<"$1"; }
json() { [ -n "$out" ] && jq -e "$1" <<<"$out" >/dev/null; }
logged() { grep -cE -- "$2" "$LAB_DIR/$1.log"; }
sent() { grep 'rx cmd=' "$LAB_DIR/$1.log" | grep -vc 'cmd=0x0002'; }   # besides discovery
flash_of() {   # camera -> its flash, dumped now
  local before; before=$(logged "$1" '^dump ')
  kill -USR1 "$(cat "$LAB_DIR/$1.pid")"
  for _ in $(seq 200); do [ "$(logged "$1" '^dump ')" -gt "$before" ] && break; sleep 0.05; done
  echo "$LAB_DIR/$1.flash"
}
same() { cmp -s -n "$5" -i "$2:$4" "$1" "$3"; }   # file1 offset1 file2 offset2 length
holds() { same "$(flash_of "$1")" "$2" "$3" 0 "$(stat -c %s "$3")"; }   # camera offset file

case $SCENARIO in
list)
  run list --json
  check "list --json: four acknowledges over two NICs" json 'length == 4'
  check "only cam3 is off its NIC's subnet" json '[.[] | select(.offSubnet) | .serial] == ["CAM3"]'
  check "cam1 once per NIC" json '[.[] | select(.mac == "02:00:00:00:01:01") | .nic] | sort == ["192.0.2.1", "198.51.100.1"]'
  check "modes from the configuration byte" json '[.[] | {(.serial): .ipMode}] | add == {"CAM1-0001": "static", "CAM3": "dhcp", "CAM 2/b": "lla"}'
  check "every field of cam2" json '.[] | select(.serial == "CAM 2/b") | . == {ip: "198.51.100.200", mask: "255.255.255.128",
    gateway: "198.51.100.1", mac: "02:00:00:00:02:02", manufacturer: "Orvanta Lab", model: "LabCam S", version: "1.4",
    serial: "CAM 2/b", userName: "cam2", nic: "198.51.100.1", offSubnet: false, ipMode: "lla",
    controlledBy: null, controlledByPort: null}'
  run list
  check "list: cam2's line, column by column" has "$out" $'198.51.100.200\t02:00:00:00:02:02\tCAM 2/b\tLabCam S\t1.4\tnic 198.51.100.1'
  check "list: one line a camera, cam3 marked" [ "$(lines "$out" .)" = 4 -a "$(lines "$out" "^203\.0\.113\.30\s.*outside the NIC's subnet$")" = 1 ]
  run list --json --interface 198.51.100.1
  check "--interface: that NIC only" json 'length == 2 and all(.nic == "198.51.100.1")'
  printf '[File]\nBroadcast=198.51.100.1\n' >setting.ini
  run list --json --settings setting.ini
  check "--settings: the window's setting.ini, one socket" json '[.[].serial] | sort == ["CAM 2/b", "CAM1-0001"]'
  # (Not the address it runs: that would be unchanged, and nothing sent.)
  run force-ip -c CAM1-0001 -c 02-00-00-00-01-01 -c 0200.0000.0101 --ip 192.0.2.11 --mask 255.255.255.0 --gateway 192.0.2.1
  check "three selectors, two NICs: one camera, one command" [ "$status" = 0 -a "$(logged cam1 '^forceip 192.0.2.11 ')" = 1 ]
  ;;
program)
  run program -c P1 -c 192.0.2.12 -c 02:00:00:00:00:03 -c 02-00-00-00-00-04 cam_101_top.bit
  check "four cameras programmed, exit 0" [ "$status" = 0 ]
  for i in 1 2 3 4; do
    word=success; [ $i = 4 ] && word=done
    check "P$i closing line" has "$out" "192.0.2.1$i 02:00:00:00:00:0$i P$i: Program $word!"
    check "P$i a progress line at each tenth" [ "$(lines "$out" "^192.0.2.1$i .*  (Program|Verify) [0-9]+/12  [0-9]+%$")" = 10 ]
    check "P$i flash byte-exact" holds p$i 0 cam_101_top.bit
  done
  # At the same time: every camera has started before any has finished.
  first=$(grep -nE '  [0-9]+%$' <<<"$out" | awk -F'[: ]' '!seen[$2]++ {print $1}' | sort -n | tail -1)
  last=$(grep -nE '  100%$' <<<"$out" | head -1 | cut -d: -f1)
  check "the four jobs overlap" [ "$first" -lt "$last" ]
  ;;
param)
  { echo "// lab parameter file"; echo "4A: 312E3300"
    for s in $(seq 0 36); do printf '%X: C0DE%04X\r\n' $((s * 0x400 + 0x10)) "$s"; done; } >p.hex
  head -c 151552 /dev/zero >image
  for s in $(seq 0 36); do printf "\xC0\xDE\x00\x$(printf %02x "$s")" | dd of=image bs=1 seek=$((s * 4096 + 64)) conv=notrunc status=none; done
  printf '1.3\0' | dd of=image bs=1 seek=296 conv=notrunc status=none
  mkdir cwd && cd cwd || exit 1
  run write-param -c 02-00-00-00-0A-BC --dump-dir ../p.hex ../p.hex
  check "a dump folder that cannot be made: refused" [ "$status" = 2 ]
  run write-param -c 02-00-00-00-0A-BC -c 020000000abc -c 192.0.2.22 --dump-dir "$W/dumps" ../p.hex
  check "two layouts written, exit 0" [ "$status" = 0 ]
  check "2.3 verified" has "$out" "192.0.2.21 02:00:00:00:0a:bc V23: Write param success!"
  check "4.1 not verifiable" has "$out" "192.0.2.22 02:00:00:00:00:02 V41: Write param done!"
  f23=$(flash_of v23) f41=$(flash_of v41)
  for s in $(seq 0 36); do
    if [ "$s" = 8 ]; then check "2.3: sector 8 left alone" same "$f23" $((0x180000 + s * 4096)) "$W/z.flash" 0 4096
    else check "2.3: sector $s at 0x180000" same "$f23" $((0x180000 + s * 4096)) "$W/image" $((s * 4096)) 4096; fi
  done
  check "4.1: sectors 0-10 at 0x200000" same "$f41" $((0x200000)) "$W/image" 0 $((11 * 4096))
  check "4.1: sector 11 untouched" same "$f41" $((0x200000 + 11 * 4096)) "$W/z.flash" 0 4096
  check "4.1: the 0x180000 area untouched" same "$f41" $((0x180000)) "$W/z.flash" 0 151552
  check "the image as sent" cmp -s "$W/dumps/020000000ABC/hexdata.dat" "$W/image"
  check "the area as read back" same "$f23" $((0x180000)) "$W/dumps/020000000ABC/data.dat" 0 151552
  check "no dumps for 4.1 nor in the working folder" [ -z "$(find "$W/dumps/020000000002" "$W/cwd" -type f)" ]
  ;;
ip)
  run force-ip --json -c MOVER --ip 192.0.2.30 --mask 255.255.255.0 --gateway 192.0.2.254
  check "force-ip: success" json '.[0] | .result == "success" and .mac == "02:00:00:00:03:03" and .sector == null and .nic == "192.0.2.1" and .model == "CamSim"'
  run list --json
  check "moved into the NIC's subnet; bystander stays" json '[.[] | {(.serial): [.ip, .offSubnet]}] | add == {"MOVER": ["192.0.2.30", false], "STILL": ["192.0.2.20", false]}'
  run ip-config -c 02:00:00:00:03:03 static --ip 192.0.2.31 --mask 255.255.255.0 --gateway 192.0.2.254
  check "ip-config static stored and restarted" [ "$status" = 0 -a "$(logged mover '^ipconfig 0x05 192.0.2.31 255.255.255.0 192.0.2.254$')" = 1 -a \
    "$(logged mover '^restart static 192.0.2.31 ')" = 1 ]
  run ip-config -c 192.0.2.31 lla
  check "ip-config lla" [ "$status" = 0 -a "$(logged mover '^ipconfig 0x04 0.0.0.0 ')" = 1 -a "$(logged mover '^restart link-local 169.254.')" = 1 ]
  run ip-config -c MOVER dhcp
  check "ip-config dhcp" [ "$status" = 0 -a "$(logged mover '^ipconfig 0x06 0.0.0.0 ')" = 1 ]
  run list --json
  check "discovery shows dhcp" json '.[] | select(.serial == "MOVER") | .ipMode == "dhcp"'
  check "the bystander took nothing" [ "$(logged bystander '^(forceip|ipconfig) [0-9]')" = 0 ]
  ;;
refusals)
  cp cam_101_top.bit Cam_101_top.bit; cp cam_101_top.bit cam_top.bit
  truncate -s 16777217 big_101_top.bit; truncate -s 1572865 wide_101_top.bit; truncate -s 5000000 huge.hex
  echo "// no records" >none.hex; printf '[File]\nBroadcast=203.0.113.5\n' >elsewhere.ini
  bad="--mask 255.255.255.0 --gateway 192.0.2.1"
  while IFS='|' read -r want text args; do
    run $args
    check "$want $args: $text" [ "$status" = "$want" -a "$(lines "$out$err" "$text")" -ge 1 ]
  done <<TABLE
2|Unknown option 'frobnicate'|program --frobnicate -c OK cam_101_top.bit
2|An argument is missing|program -c OK
2|Name the cameras with -c CAM or --all|program cam_101_top.bit
2|Unknown option 'c'|list -c OK
2|203.0.113.99 is not an address or network card of this PC|list --interface 203.0.113.99
2|--jobs needs a number|program --jobs 0 -c OK cam_101_top.bit
2|The settings file 'gone.ini' cannot be read|list --settings gone.ini
2|The mode is static, dhcp or lla|ip-config -c OK fixed
2|File name is not valid!|program -c OK Cam_101_top.bit
2|File version missed!|program -c OK cam_top.bit
2|Open file failed!|program -c OK gone_101_top.bit
2|larger than the camera's 16 MB flash|program -c OK big_101_top.bit
2|reaches the camera's parameter area at 0x180000.*--yes|program -c OK wide_101_top.bit
2|OLDER: Firmware 1.2 cannot read its flash back|program -c OK -c OLDER --changed-only cam_101_top.bit
2|Please select hex file first.|write-param -c OK none.hex
2|^Open file failed!$|write-param -c OK gone.hex
2|parameter file is too large|write-param -c OK huge.hex
2|The IP address is not a valid IPv4 address|force-ip -c OK --ip 192.0.2.300 $bad
2|The subnet mask is not a valid IPv4 address|force-ip -c OK --ip 192.0.2.40 --mask 255.255.255.0.0 --gateway 192.0.2.1
2|The gateway is not a valid IPv4 address|ip-config -c OK static --ip 192.0.2.40 --mask 255.255.255.0 --gateway 192.0.2
2|Usage: orvanta-cli COMMAND|
2|Only static takes addresses|ip-config -c OK dhcp --gateway 192.0.2.1
3|No camera matched NOSUCH.|program -c OK -c NOSUCH cam_101_top.bit
3|but 5 cameras matched|ip-config --all dhcp
3|No camera answered the discovery|program --all --settings elsewhere.ini cam_101_top.bit
3|but 2 cameras matched|force-ip -c OK -c OLDER --ip 192.0.2.40 $bad
TABLE
  for cam in ok older faulty silent busy; do check "nothing sent to $cam" [ "$(sent $cam)" = 0 ]; done
  # Ctrl+C while the first of two jobs runs, one at a time: both say where they stopped.
  "$CLI" program --jobs 1 -c OK -c OLDER long_103_top.bit >int.out 2>&1 &
  for _ in $(seq 200); do grep -qE 'Program [0-9]+/40' int.out && break; sleep 0.05; done
  kill -INT $!; wait $!; status=$?; out=$(cat int.out)
  waiting=$(sed -n 's/.* \([A-Z]*\): Stopped before it started; nothing was sent to this camera.$/\1/p' <<<"$out")
  check "Ctrl+C: exit 1" [ "$status" = 1 ]
  check "Ctrl+C: the running job says where it stopped" [ "$(lines "$out" ': Stopped while programming sector [0-9]+\. The flash may be incomplete')" = 1 ]
  check "Ctrl+C: the waiting one never started" [ -n "$waiting" ] && check "nothing sent to it" [ "$(sent "${waiting,,}")" = 0 ]
  run program --json -c FAULTY -c SILENT -c BUSY cam_101_top.bit
  check "failed jobs: exit 1" [ "$status" = 1 ]
  check "verify error at sector 2" json '.[] | select(.serial == "FAULTY") | .result == "verify-error" and .sector == 2 and .message == "Verify error, please reprogram before power off!(2)"'
  check "no answer to the probe" json '.[] | select(.serial == "SILENT") | .result == "no-answer" and .message == "Device not exists, please fresh."'
  check "an error status: refused" json '.[] | select(.serial == "BUSY") | .result == "refused" and .cameraStatus == "0x8007" and .sector == 0'
  run force-ip --json -c OK --ip 192.0.2.40 --mask 0.0.0.0 --gateway 192.0.2.1   # a mask the camera refuses
  check "force-ip refused: exit 1, nothing changed" [ "$status" = 1 ] && check "  its status" json '.[0] | .result == "refused" and .cameraStatus == "0x8002" and .changed == false'
  ;;
changed)
  run program --changed-only -c SAME -c HALF same_102_top.bit
  check "changed-only: exit 0, the changed one verified" [ "$status" = 0 -a "$(lines "$out" 'HALF: Program success!$')" = 1 ]
  check "a camera that holds the file: unchanged" has "$out" "SAME: Unchanged: the camera already holds this bitstream; nothing was programmed."
  check "a camera that holds the file: compared, no program operation" [ "$(logged same '^program ')" = 0 -a "$(logged same '^load ')" = 8 ]
  check "a half-written camera: only the other half" [ "$(logged half '^program ')" = 4 ]
  check "the half-written camera byte-exact" holds half 0 same_102_top.bit
  ;;
bench)
  # Wall time includes a discovery per run; the jobs' own seconds do not.
  t0=$(date +%s.%N); run program --json -c B1 bench_104_top.bit; t1=$(date +%s.%N); one=$status
  j1=$(jq '[.[].seconds] | max' <<<"$out")
  run program --json --all bench_104_top.bit; t8=$(date +%s.%N)
  check "1 and 8 cameras programmed" [ "$one" = 0 -a "$status" = 0 ] && check "8 results" json 'length == 8'
  awk -v a="$t0" -v b="$t1" -v c="$t8" -v j1="$j1" -v j8="$(jq '[.[].seconds] | max' <<<"$out")" \
    -v n="${CLI_BENCH_SECTORS:-8}" 'BEGIN {
    printf "cli bench: %d sectors, program + verify: 1 camera %.2f s, 8 cameras %.2f s, ratio %.2f (aim <= 1.1)\n",
      n, b - a, c - b, (c - b) / (b - a)
    printf "cli bench: longest job alone: 1 camera %.2f s, 8 cameras %.2f s, ratio %.2f\n", j1, j8, j8 / j1 }'
  ;;
doctor)
  # Each finding by its kind and the camera's MAC or the card's name, sorted.
  found() { jq -r '.[] | "\(.kind) \(.mac // .card)"' <<<"$out" | sort | paste -sd' '; }
  want() { printf '%s\n' "$@" | sort | paste -sd' '; }
  fix_of() { jq -r --arg k "$1" '.[] | select(.kind == $k) | .fix' <<<"$out"; }
  typed() {   # each fix as given: orvanta-cli is the one under test, and sudo is not needed as root
    local line; while read -r line; do
      set -- ${line#sudo }; [ "$1" = orvanta-cli ] && set -- "$CLI" "${@:2}"; [ $# -gt 0 ] && "$@"
    done
  }
  sysctl -qw net.ipv4.conf.nic0.rp_filter=1      # strict: hides the camera of another subnet
  sysctl -qw net.ipv4.conf.nic1.accept_local=1   # else Linux drops answers from the PC's own address
  python3 -c 'import socket, struct  # another application takes control of "held"
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("192.0.2.1", 0)); s.settimeout(2)
s.sendto(bytes.fromhex("4201008200080001") + struct.pack(">II", 0x0A00, 2), ("192.0.2.40", 3956)); s.recv(64)'
  run force-ip -c 02:00:00:00:00:07 --ip 192.0.2.55 --mask 255.255.255.0 --gateway 192.0.2.1
  for cam in good off dup1 dup2 wrongid held moved card slow dhcp; do wc -l <"$LAB_DIR/$cam.log" >"$W/$cam.mark"; done
  common=("controlled 02:00:00:00:00:06" "no-unicast-reply 02:00:00:00:00:05" "slow-link 02:00:00:00:00:09")
  changed=("card-address 02:00:00:00:00:08" "dhcp-fallback 02:00:00:00:00:0a" "duplicate-address 02:00:00:00:00:04"
           "moves-at-power-cycle 02:00:00:00:00:07")
  run doctor --json; echo "doctor found: $(found)"
  check "rp_filter: the camera of another subnet hidden, the card named, exit 1" [ "$status" = 1 -a "$(found)" = \
    "$(want "${common[@]}" "${changed[@]}" "reverse-path-filter nic0")" ]
  fix_of reverse-path-filter | typed >/dev/null
  sleep 1.2   # the hidden camera's ARP request for the PC goes out again within a second
  run doctor --json; echo "doctor found: $(found)"
  check "every camera finding, each naming its camera" [ "$status" = 1 -a "$(found)" = \
    "$(want "${common[@]}" "${changed[@]}" "off-subnet 02:00:00:00:00:02")" ]
  moving=$(jq -r '.[] | select(.kind | test("off-subnet|duplicate-address|card-address|dhcp-fallback")) | .fix' <<<"$out")
  check "four moves to free addresses, no two alike" [ "$(grep -o -- '--ip [0-9.]*' <<<"$moving" | sort -u | wc -l)" = 4 -a \
    -z "$(grep -E -- '--ip (192\.0\.2\.(1|10|20|30|40|50|55)|198\.51\.100\.(1|20)) ' <<<"$moving")" ]
  check "the held camera's application named" has "$(jq -r '.[] | select(.kind == "controlled") | .problem' <<<"$out")" "at 192.0.2.1, port "
  check "both addresses of the moved camera" has "$out" "runs 192.0.2.55 / 255.255.255.0 / 192.0.2.1 now, but after a power cycle: static 192.0.2.50 / 255.255.255.0 / 0.0.0.0."
  json=$out; run doctor
  check "one finding a line, with its fix" [ "$(lines "$out" '^[a-z-]+: .* Fix: ')" = "$(jq length <<<"$json")" -a "$(lines "$out" .)" = "$(jq length <<<"$json")" ]
  for cam in good off dup1 dup2 wrongid held moved card slow dhcp; do
    check "the reports sent $cam nothing but discovery and reads" [ "$(tail -n +"$(($(cat "$W/$cam.mark") + 1))" "$LAB_DIR/$cam.log" | grep 'rx cmd=' | grep -cvE 'cmd=0x00(02|80) ')" = 0 ]
  done
  out=$json
  for kind in off-subnet duplicate-address card-address dhcp-fallback; do fix_of $kind | typed >/dev/null; done
  # The cameras move a moment after their acknowledge; the PC forgets where
  # 192.0.2.20 was, as a moved camera's announcement of its address makes it.
  sleep 0.3; ip neigh flush all
  run doctor --json; echo "doctor found: $(found)"
  check "the typed fixes took: off-subnet, duplicate, card address, DHCP fallback gone" [ "$(found)" = \
    "$(want "${common[@]}" "moves-at-power-cycle 02:00:00:00:00:02" "moves-at-power-cycle 02:00:00:00:00:07")" ]
  fix_of moves-at-power-cycle | typed >/dev/null; sleep 0.3
  run doctor --json; echo "doctor found: $(found)"
  check "stored as they run: nothing moves at a power cycle" [ "$(found)" = "$(want "${common[@]}")" ]
  run list --json --details
  check "list --details: the stored configuration" json '.[] | select(.mac == "02:00:00:00:00:07") | .storedIpConfig == ["static", "lla"] and
    .persistentIp == "192.0.2.55" and .persistentMask == "255.255.255.0" and .persistentGateway == "192.0.2.1" and
    .afterPowerCycle == "static 192.0.2.55 / 255.255.255.0 / 192.0.2.1" and .networkInterfaces == 1 and .linkSpeedMbps == 1000'
  check "list --details: a camera that does not answer reads" json '[.[] | select(.registersRead == false) | .mac] == ["02:00:00:00:00:05"]'
  check "list --details: the slow link" json '.[] | select(.mac == "02:00:00:00:00:09") | .linkSpeedMbps == 100'
  ;;
doctor_pc)
  # This kernel keeps net.core.rmem_max per network namespace but read-only in
  # all but the first, and a veth's speed cannot be set: the doctor reads them
  # through files mounted over the real ones in a mount namespace of its own.
  echo 65536 >rmem; echo 100 >speed
  faked() { out=$(unshare --mount sh -c 'mount --bind rmem /proc/sys/net/core/rmem_max && mount --bind speed /sys/class/net/nic0/speed &&
    exec "$@"' faked "$CLI" "$@" 2>"$W/err"); status=$?; err=$(cat "$W/err"); }
  found() { jq -r '.[] | "\(.kind) \(.mac // .card)"' <<<"$out" | sort | paste -sd' '; }
  faked doctor --json
  check "two cards in one subnet, a slow card, a small receive buffer" [ "$status" = 1 -a "$(found)" = "cards-one-subnet nic1 receive-buffer nic0 slow-link nic0" ]
  check "the sysctl for the buffer" [ "$(jq -r '.[] | select(.kind == "receive-buffer") | .fix' <<<"$out")" = "sudo sysctl -w net.core.rmem_max=4194304" ]
  check "the buffer's figures" has "$out" "receive buffer of 128 KB (net.core.rmem_max 65536), but the 100 answers heard on card nic0 (192.0.2.1/24) need about 273 KB"
  run doctor --json --interface nic0
  check "one card, its real facts: nothing found, exit 0" [ "$status" = 0 ] && check "an empty array" json 'length == 0'
  run doctor
  check "the line of two cards in one subnet" [ "$status" = 1 -a "$(lines "$out" '^cards-one-subnet: Cards nic0 \(192.0.2.1/24\) and nic1 \(192.0.2.2/24\) are in one subnet')" = 1 ]
  while IFS='|' read -r want text args; do
    run $args
    check "$want $args: $text" [ "$status" = "$want" -a "$(lines "$out$err" "$text")" -ge 1 ]
  done <<TABLE
2|203.0.113.99 is not an address or network card of this PC|doctor --interface 203.0.113.99
2|Unknown option 'c'|doctor -c 192.0.2.10
2|Unexpected argument 'now'|doctor now
TABLE
  ;;
doctor_bench)
  fleet=$(for k in 2 3 4; do cat "$LAB_DIR/fleet$k.pid"; done)
  timed() { local t0; t0=$(date +%s.%N); run "$@"; took=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'); }
  trap 'kill -CONT $fleet' EXIT   # a stopped camera would not stop at the lab's end
  kill -STOP $fleet
  timed doctor --json; a=$took; timed doctor --json; b=$took
  check "8 cards, 7 cameras: nothing found" [ "$status" = 0 ]
  kill -CONT $fleet; sleep 0.5
  timed doctor --json; c=$took; timed doctor --json; d=$took
  check "8 cards, 757 cameras: nothing found" [ "$status" = 0 ]
  timed list --json --details; e=$took
  check "list --details: 757 cameras read" json 'length == 757 and all(.registersRead)'
  echo "doctor bench: 8 cards, 7 cameras: $a s, $b s (aim < 2 s); 8 cards, 757 cameras: $c s, $d s (aim < 5 s); list --details, 757 cameras: $e s"
  ;;
bench32)
  # One camera of a fleet, then all 32 of it at once; figures only. The
  # simulator fills a camera's 16 MiB of flash at its first write, one camera
  # after the other: one sector on every camera first, so only the tool is timed.
  head -c 4096 bench_104_top.bit >warm_105_top.bit
  run program --all warm_105_top.bit
  t0=$(date +%s.%N); run program --json -c F-001 bench_104_top.bit; t1=$(date +%s.%N); one=$status
  j1=$(jq '[.[].seconds] | max' <<<"$out")
  run program --json --all bench_104_top.bit; t32=$(date +%s.%N)
  check "1 and 32 cameras programmed" [ "$one" = 0 -a "$status" = 0 ] && check "32 results" json 'length == 32'
  awk -v a="$t0" -v b="$t1" -v c="$t32" -v j1="$j1" -v j32="$(jq '[.[].seconds] | max' <<<"$out")" \
    -v n="${CLI_BENCH_SECTORS:-8}" 'BEGIN {
    printf "cli bench: %d sectors, program + verify: 1 camera %.2f s, 32 cameras %.2f s, ratio %.2f (aim <= 1.15)\n",
      n, b - a, c - b, (c - b) / (b - a)
    printf "cli bench: longest job alone: 1 camera %.2f s, 32 cameras %.2f s, ratio %.2f\n", j1, j32, j32 / j1 }'
  ;;
dryrun)
  export ORVANTA_HISTORY=$W/h.jsonl
  # FORCEIP, WRITEREG, IPCONFIG, DEVWRITE into the window and the program control word;
  # reading flash takes only the load control word (DEVWRITE to 0x0027, logged "load").
  writes() { grep -cE 'rx cmd=0x(0004|0082|8004) |rx cmd=0xfff0 .*addr=0x0([^0]|0[^2]|02[^7])|^program ' "$LAB_DIR/$1.log"; }
  # A real run takes the camera's control privilege and gives it back: that
  # is no write to the camera's flash or settings.
  stored() { grep -vE 'rx cmd=0x0082 .*addr=0x0a00 ' "$LAB_DIR/$1.log" | grep -cE 'rx cmd=0x(0004|0082|8004) |rx cmd=0xfff0 .*addr=0x0([^0]|0[^2]|02[^7])|^program '; }
  nowrites() { for cam in d1 same half old ipc; do [ "$(writes $cam)" = 0 ] || return 1; done; }
  run program --dry-run --changed-only --json -c D1 -c SAME -c HALF same_102_top.bit
  check "program --dry-run --changed-only: exit 0, nothing changed" [ "$status" = 0 ] && check "  per camera" json 'map({(.serial): [.result, .changed]}) | add ==
    {"D1": ["would-change", false], "HALF": ["would-change", false], "SAME": ["unchanged", false]}'
  check "  the sectors that differ" json '.[] | select(.serial == "HALF") | .message == "Dry run: 4 of 8 sectors differ from the file and would be programmed; nothing was written."'
  check "  read every sector once" [ "$(logged half '^load ')" = 8 ]
  truncate -s 16777216 full_107_top.bit; truncate -s 1572864 edge_108_top.bit   # the whole flash; up to the parameters
  run program --dry-run --yes --json -c D1 -c OLD full_107_top.bit
  check "program --dry-run: every sector, firmware 1.2 too" json 'all(.message == "Dry run: 4096 sectors would be programmed; nothing was written.")'
  run program --dry-run -c OLD edge_108_top.bit
  check "program --dry-run: up to the parameter area, no --yes needed" has "$out" "OLD: Dry run: 384 sectors would be programmed"
  run program --dry-run --changed-only -c OLD same_102_top.bit
  check "program --dry-run refuses as a real run does" [ "$status" = 2 ] && check "  with its words" has "$err" "OLD: Firmware 1.2 cannot read its flash back"
  printf '0: 00000001 00000002\n400: C0DE0001\n4A: 312E3300\n2400: C0DE0009\n' >p.hex   # sectors 0, 1 and 9 of 36
  run write-param --dry-run --changed-only --json -c D1 p.hex
  check "write-param --dry-run: would-change" json '.[0].message == "Dry run: 3 of 36 parameter sectors differ from the file and would be written; nothing was written."'
  check "no dry run wrote anything" nowrites
  check "  nor any history" [ ! -e h.jsonl ]
  run write-param --changed-only --json -c D1 p.hex
  check "write-param --changed-only: written" json '.[0] | .result == "success" and .changed'
  written=$(stored d1)
  run write-param --changed-only --json -c D1 p.hex
  check "write-param --changed-only again: unchanged, exit 0" [ "$status" = 0 ] && check "  changed false" json '.[0] | .result == "unchanged" and .changed == false'
  check "  nothing written" [ "$(stored d1)" = "$written" ]
  addr="--mask 255.255.255.0 --gateway 192.0.2.254"
  run force-ip --dry-run --json -c IPC --ip 192.0.2.56 $addr
  check "force-ip --dry-run: would-change" json '.[0] | .result == "would-change" and .changed == false'
  run force-ip --dry-run --json -c IPC --ip 192.0.2.55 --mask 255.255.0.0 --gateway 192.0.2.254
  check "force-ip --dry-run: another mask would change" json '.[0].result == "would-change"'
  run force-ip --json -c IPC --ip 192.0.2.55 $addr
  check "force-ip to what it runs: unchanged" json '.[0] | .result == "unchanged" and .message == "Unchanged: the camera already runs these addresses; nothing was sent."'
  run ip-config --dry-run --json -c IPC static --ip 192.0.2.55 --mask 255.255.255.0 --gateway 192.0.2.1
  check "ip-config --dry-run, another gateway: would-change" json '.[0].result == "would-change"'
  run ip-config --dry-run --json -c IPC dhcp
  check "ip-config --dry-run, another mode: would-change" json '.[0].result == "would-change"'
  run ip-config --json -c IPC static --ip 192.0.2.55 $addr
  check "ip-config to what it stores: unchanged" json '.[0] | .result == "unchanged" and .changed == false'
  check "  read back from the camera" [ "$(logged ipc 'rx cmd=0x0080 .* addr=0x0014')" -ge 2 ]
  check "no write to the IP camera yet" [ "$(writes ipc)" = 0 ]
  run ip-config --json -c IPC static --ip 192.0.2.55 --mask 255.255.255.0 --gateway 192.0.2.1
  check "ip-config, another gateway: written" json '.[0] | .result == "success" and .changed' && check "  once" [ "$(logged ipc '^ipconfig 0x05 192.0.2.55 255.255.255.0 192.0.2.1$')" = 1 ]
  check "history: one line per real run, none per dry run" [ "$(jq -r '"\(.operation) \(.result)"' h.jsonl | paste -sd,)" = \
    "write-param success,write-param unchanged,force-ip unchanged,ip-config unchanged,ip-config success" ]
  # Running an address is not storing it.
  run force-ip -c IPC --ip 192.0.2.57 --mask 255.255.255.0 --gateway 192.0.2.1
  run ip-config --dry-run --json -c IPC static --ip 192.0.2.57 --mask 255.255.255.0 --gateway 192.0.2.1
  check "ip-config --dry-run, the address it runs but does not store: would-change" json '.[0] | .ip == "192.0.2.57" and .result == "would-change"'
  ;;
history)
  export ORVANTA_HISTORY=$W/h.jsonl
  printf '0: 00000001 00000002\n400: C0DE0001\n' >p.hex
  fleet=(); for i in 1 2 3 4 5 6 7 8; do fleet+=(-c "H-00$i"); done
  # Eight jobs in one process and a second process, at once.
  "$CLI" write-param -c SOLO p.hex >solo.out 2>&1 & solo=$!
  run program --json "${fleet[@]}" cam_101_top.bit
  wait $solo; solo_status=$?
  check "eight jobs and a second process: all succeed" [ "$status" = 0 -a "$solo_status" = 0 ]
  check "nine lines, every one whole" [ "$(jq -c . h.jsonl | wc -l)" = 9 -a "$(wc -l <h.jsonl)" = 9 ]
  sha_bit=$(sha256sum cam_101_top.bit | cut -d' ' -f1) sha_hex=$(sha256sum p.hex | cut -d' ' -f1)
  check "the bitstream's SHA-256, 12 sectors, from the command line" [ "$(jq -r "select(.operation == \"program\") |
    [.sha256 == \"$sha_bit\", .sectorsWritten, .frontEnd, .result, .file == \"$W/cam_101_top.bit\"] | @text" h.jsonl | sort -u)" = '[true,12,"cli","success",true]' ]
  check "the parameter file's SHA-256" [ "$(jq -r 'select(.operation == "write-param") | .sha256' h.jsonl)" = "$sha_hex" ]
  check "PC, user, camera and seconds" [ "$(jq -r 'select(.serial == "SOLO") | [.host, .user, .ip, .mac, .firmware, (.seconds > 0)] | @tsv' h.jsonl)" = \
    "$(hostname)	$(id -un)	192.0.2.70	02:00:00:00:00:02	2.3	true" ]
  # Ctrl+C: the running job and the waiting one are recorded as cancelled.
  "$CLI" program --jobs 1 -c H-001 -c H-002 long_103_top.bit >int.out 2>&1 &
  for _ in $(seq 200); do grep -qE 'Program [0-9]+/40' int.out && break; sleep 0.05; done
  kill -INT $!; wait $!
  check "Ctrl+C: both recorded as cancelled" [ "$(jq -r 'select(.file | endswith("long_103_top.bit")) | .result' h.jsonl | paste -sd,)" = cancelled,cancelled ]
  printf '{"time": "2024-05-31T1\nnot json\n' >>h.jsonl
  run force-ip --history other.jsonl -c SOLO --ip 192.0.2.70 --mask 255.255.255.0 --gateway 0.0.0.0
  check "--history: another file" [ "$(jq -r .ipSettings other.jsonl)" = "force 192.0.2.70 255.255.255.0 0.0.0.0" ]
  run history --json
  check "history: damaged lines skipped with a warning" [ "$status" = 0 -a "$(lines "$err" 'h.jsonl:1[23]: not a history entry; skipped.')" = 2 ] &&
    check "  every whole line read" json 'length == 11'
  run history --json -c 02-00-01-00-01-00 -c H-002
  check "history -c: by MAC or serial" json '[.[].serial] | sort == ["H-001", "H-001", "H-002", "H-002"]'
  run history --since 2999-01-01 --json
  check "history --since: nothing later" json 'length == 0'
  printf '{"time": "%s", "operation": "program", "result": "success", "mac": "02:00:00:00:00:%s", "ip": "192.0.2.%s", "serial": "%s"}\n' \
    2024-05-30T23:59:59Z 0b 76 A 2024-05-31T00:00:00Z 0b 76 B 2024-06-01T00:00:00Z 0c 77 C 2024-06-01T00:00:00Z 0d 78 D >x.jsonl
  run history --history x.jsonl --since 2024-05-31 -c 02:00:00:00:00:0B -c 192.0.2.77 --json
  check "history --history, --since a day from its start, -c by MAC and by address" json '[.[].serial] == ["B", "C"]'
  run history --since "$(date -u -d '1 hour ago' +%Y-%m-%dT%H:%M:%SZ)"
  check "history: a line an entry" [ "$(lines "$out" "	cam_101_top.bit	success	12 sectors	")" = 8 ]
  ;;
control)
  a=(--interface 192.0.2.1)   # segment a only: segment b's cameras count their datagrams
  run list --json "${a[@]}"
  check "list --json: who controls each camera" json '[.[] | {(.serial): [.controlledBy, .controlledByPort]}] | add |
    .HELD == ["192.0.2.50", 50123] and .ANON == ["unknown", null] and .TWICE == [null, null] and .NOPRIV == ["unknown", null]'
  "$CLI" program --json "${a[@]}" -c LOSSY lossy_105_top.bit >lossy.json 2>/dev/null &
  lossy=$!
  "$CLI" program --json --interface 198.51.100.1 -c SILENT -c TAKEN cam_101_top.bit >b.json 2>/dev/null &
  segment_b=$!
  capture=
  if command -v tshark >/dev/null; then
    tshark -i nic0 -f 'udp port 3956' -w "$W/control.pcapng" -q 2>tshark.err &
    capture=$!
    for _ in $(seq 100); do grep -q 'Capturing on' tshark.err && break; sleep 0.05; done
  else
    echo "tshark is not installed (scripts/deps installs it): the capture is not decoded"
  fi

  # Another application holds the camera: refused before anything is written.
  t0=$(date +%s.%N); run program --json "${a[@]}" -c HELD cam_101_top.bit; t1=$(date +%s.%N)
  check "held: in-use, exit 1, the holder named" [ "$status" = 1 ] && check "held: the message" json '.[0] | .result == "in-use" and
    .message == "The camera is controlled by another application (192.0.2.50, port 50123). Close it or release the camera, then try again." and
    .controlledBy == "192.0.2.50" and .controlledByPort == 50123'
  awk -v a="$t0" -v b="$t1" -v j="$(jq '.[0].seconds' <<<"$out")" 'BEGIN { printf "in-use: the job %.2f s, the whole command %.2f s (discovery included)\n", j, b - a }'
  printf '// one record\n4A: 312E3300\n10: C0DE0000\n' >p.hex
  run write-param --json "${a[@]}" -c ANON p.hex
  check "exclusive, unnamed: in-use without the address" json '.[0] | .result == "in-use" and .controlledBy == "unknown" and
    .message == "The camera is controlled by another application. Close it or release the camera, then try again."'
  # A dry run is refused as the real run is, having written nothing, not even the privilege register.
  run program --dry-run --json "${a[@]}" -c HELD cam_101_top.bit
  check "held, dry run: in-use" [ "$status" = 1 ] && check "  the holder named" json '.[0] | .result == "in-use" and .controlledBy == "192.0.2.50"'
  for cam in held anon; do check "$cam: no flash write reached it" [ "$(logged $cam 'cmd=0xfff0|^program ')" = 0 ]; done
  check "held: only the real run tried to take control" [ "$(logged held 'rx cmd=0x0082 ')" = 1 ]

  # Two runs at the same moment: one programs, the other writes nothing.
  "$CLI" program --json "${a[@]}" -c TWICE cam_101_top.bit >1.json 2>/dev/null & one=$!
  "$CLI" program --json "${a[@]}" -c TWICE cam_101_top.bit >2.json 2>/dev/null & two=$!
  wait $one; s1=$?; wait $two; s2=$?
  out=$(jq -s 'add | map(.result) | sort' 1.json 2.json)
  check "two at once: one success, one in-use" json '. == ["in-use", "success"]' && check "exit 0 and 1" [ $((s1 + s2)) = 1 ]
  winner=$(sed -n 's/^privilege 0x2 by \(.*\)$/\1/p' "$LAB_DIR/twice.log")
  loser=$(sed -n 's/^access denied to \([^ ]*\) .*/\1/p' "$LAB_DIR/twice.log" | sort -u)
  out=$(cat 1.json 2.json)
  check "the loser names the winner" has "$out" "controlled by another application (192.0.2.1, port ${winner##*:})"
  check "the loser sent no flash write" [ -n "$loser" ] && check "none from $loser" [ "$(grep -c "cmd=0xfff0 .* from=$loser " "$LAB_DIR/twice.log")" = 0 ]
  check "the winner released it" [ "$(logged twice "^privilege released by $winner$")" = 1 ]
  check "TWICE byte-exact" holds twice 0 cam_101_top.bit

  # Ctrl+C: control given back, and the next run takes it at once.
  "$CLI" program "${a[@]}" -c STOP long_103_top.bit >int.out 2>&1 &
  for _ in $(seq 200); do grep -qE 'Program [0-9]+/40' int.out && break; sleep 0.05; done
  kill -INT $!; wait $!; status=$?
  check "Ctrl+C: exit 1, control released" [ "$status" = 1 -a "$(logged stop '^privilege released by ')" = 1 ]
  run program "${a[@]}" -c STOP cam_101_top.bit
  check "the next run at once: success" [ "$status" = 0 ] && check "STOP byte-exact" holds stop 0 cam_101_top.bit

  if [ -n "$capture" ]; then
    sleep 0.3; kill -INT "$capture"; wait "$capture"
    # The camera's own flash commands (0xFFF0) decode as such; their
    # acknowledges (0x8005) are not GVCP's, so Wireshark leaves them as UDP.
    decoded() { tshark -r "$W/control.pcapng" -d udp.port==3956,gvcp -Y "$1" 2>/dev/null | wc -l; }
    ccp='gvcp.cmd.command == 0x0082 && gvcp.bootstrap.control.controlaccess =='
    check "wireshark: the privilege taken and released" [ "$(decoded "$ccp 1")" -ge 3 -a "$(decoded "$ccp 0")" -ge 3 ]
    check "wireshark: nothing malformed" [ "$(decoded _ws.malformed)" = 0 ]
    check "wireshark: every datagram GVCP but the camera's own acknowledges" [ "$(decoded 'udp && !gvcp && !(udp.payload[2:2] == 80:05)')" = 0 ]
    echo "wireshark: $(decoded gvcp) GVCP datagrams, $(decoded 'udp && !gvcp') device-specific acknowledges"
  fi

  run program --verbose "${a[@]}" -c NOPRIV cam_101_top.bit
  check "no privilege register: as before, said once" [ "$status" = 0 -a "$(lines "$err" '^no control privilege to take \(0x8001 \(not implemented\)\); going on without it$')" = 1 ]

  wait $segment_b
  out=$(cat b.json)
  check "silent after sector 2: no-answer in sector 3" json '.[] | select(.serial == "SILENT") | .result == "no-answer" and .sector == 3'
  check "silent: three sectors, control expired" [ "$(logged silent '^program ')" = 3 -a "$(logged silent '^privilege expired \(198.51.100.1:[0-9]+\)$')" = 1 ]
  check "taken over: lost-control in sector 10" json '.[] | select(.serial == "TAKEN") | .result == "lost-control" and .sector == 10 and
    .controlledBy == "198.51.100.60" and .message == "Another application (198.51.100.60, port 50000) took control of the camera while programming sector 10. The flash may be incomplete: program again before power off!"'
  for _ in $(seq 100); do [ "$(logged taken '^privilege expired \(198.51.100.60:50000\)')" = 1 ] && break; sleep 0.05; done
  run program -c TAKEN --changed-only cam_101_top.bit
  check "then --changed-only resumes" [ "$status" = 0 -a "$(logged taken '^program ')" = 12 ] && check "TAKEN byte-exact" holds taken 0 cam_101_top.bit

  wait $lossy; status=$?
  out=$(cat lossy.json)
  check "1000 ms heartbeat, requests lost: success" [ "$status" = 0 ] && check "two requests in a row lost" \
    [ "$(awk '/^rx / { n += lost && /lost \(fault/; lost = /lost \(fault/ } END { print n + 0 }' "$LAB_DIR/lossy.log")" -ge 1 ]
  check "control kept throughout" [ "$(logged lossy '^privilege ')" = 2 -a "$(logged lossy '^privilege released by ')" = 1 -a "$(logged lossy 'expired')" = 0 ]
  check "LOSSY byte-exact" holds lossy 0 lossy_105_top.bit
  echo "64 sectors, 1000 ms heartbeat, $(logged lossy 'lost \(fault') requests lost: $(jq '.[0].seconds' <<<"$out") s"
  ;;
bench_list)
  best() {   # the best wall time of three runs of the command, in ms
    local b= t0 t1
    for _ in 1 2 3; do
      t0=$(date +%s%N); "$CLI" "$@" >list.out 2>/dev/null; t1=$(date +%s%N)
      b=$(( (t1 - t0) / 1000000 < ${b:-999999} ? (t1 - t0) / 1000000 : b ))
    done
    echo "$b"
  }
  plain=$(best list) json=$(best list --json)
  out=$(cat list.out)
  check "750 cameras listed" json 'length == 750'
  check "who controls them: 250 held, 500 free" json '[.[] | .controlledBy] | group_by(.) | map([.[0], length]) == [[null, 500], ["203.0.113.99", 250]]'
  echo "cli bench: list of 750 cameras: ${plain} ms; with who controls each (--json): ${json} ms, $((json - plain)) ms more (aim <= 200)"
  ;;
netfaults)
  printf '[File]\nBroadcast=auto\n' >setting.ini   # four characters: no address, every card
  run list --json --settings setting.ini --interface nic0
  check "a non-GVCP datagram skipped, answers 250 ms apart waited for, none after 500 ms of silence" json '[.[].serial] | sort == ["JUNK", "LATE1", "LATE2", "LATE3"]'
  out=$(timeout 20 "$CLI" list --json --interface 198.51.100.1)
  check "a sender that never stops: the list ends all the same" json '[.[].serial] == ["FLOOD"]'
  ;;
esac
echo "$SCENARIO: $((failures == 0)) passed, $failures failed"
[ "$failures" = 0 ]
