#!/bin/sh
# Makes orvanta-cli's manual page from its own --help-all and --version with
# help2man, gzip-compressed as Debian installs manual pages:
#   man-page.sh HELP2MAN ORVANTA_CLI OUTPUT.1.gz
# The program runs in a network namespace of its own whenever one can be
# made, so that nothing the build runs could reach a network (--help-all and
# --version return before any socket is opened in any case).
set -eu
help2man=$1 cli=$2 out=$3
isolate=""
if unshare --net true 2>/dev/null; then
  isolate="unshare --net"
elif unshare --net --map-root-user true 2>/dev/null; then
  isolate="unshare --net --map-root-user"
fi
$isolate "$help2man" --no-info --help-option=--help-all --version-option=--version \
  --name "maintain GigE Vision cameras from the command line: discover, change IP settings, write parameters, program bitstreams" \
  --output="$out.tmp" "$cli"
gzip -9n <"$out.tmp" >"$out"
rm -f "$out.tmp"
