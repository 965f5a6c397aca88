#!/usr/bin/env bash
# The bash completion against the program itself: it offers every command
# that `orvanta-cli --help` lists and every option that each command's --help
# names, the ip-config modes, and the files and folders where an argument takes one.
#   completion.sh ORVANTA_CLI COMPLETION_FILE
set -uo pipefail
cli=$1
source /usr/share/bash-completion/bash_completion
source "$2"
offered() {   # the words of a command line, the last one being completed
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE} COMPREPLY=()
  _orvanta_cli orvanta-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}"
}
failures=0 checked=0
expect() {   # word, what is offered
  checked=$((checked + 1))
  grep -qx -- "$1" <<<"$2" || { echo "FAIL $1 not offered ($3)"; failures=$((failures + 1)); }
}
commands=$("$cli" --help | awk '/^Commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {exit}')
[ -n "$commands" ] || { echo "FAIL no commands in --help"; exit 1; }
for c in $commands; do
  expect "$c" "$(offered orvanta-cli "")" "orvanta-cli <TAB>"
  for o in $("$cli" "$c" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
    expect "$o" "$(offered orvanta-cli "$c" -c CAM -)" "orvanta-cli $c -<TAB>"
  done
done
for mode in static dhcp lla; do expect "$mode" "$(offered orvanta-cli ip-config -c CAM "")" "ip-config mode"; done
dir=$(mktemp -d) && cd "$dir" && mkdir d && touch a.bit b.hex && trap 'rm -rf "$dir"' EXIT
while read -r yes no words; do   # a file or folder offered, and one not
  got=$(offered orvanta-cli $words ""); expect "$yes" "$got" "$words <TAB>"
  ! grep -qx -- "$no" <<<"$got" || { echo "FAIL $no offered ($words <TAB>)"; failures=$((failures + 1)); }
done <<<$'a.bit b.hex program -c CAM\nb.hex a.bit write-param -c CAM\nd a.bit write-param --dump-dir'
echo "completion: $((checked - failures)) passed, $failures failed"
[ "$failures" = 0 ]
