#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 so the Windows-only pieces
# cannot rot: the resource script (icon + manifest), the socket layer with its
# Winsock native calls, the timer guard, the history's file calls, and the
# socket checks linking them.
# Given a Wine loader as third argument, it then runs the checks under Wine.
set -euo pipefail
src=$1 out=$2 wine=${3:-}
mkdir -p "$out"
rm -f "$out"/*.o "$out"/*.exe
cxx=x86_64-w64-mingw32-g++
flags=(-std=c++17 -O2 -Wall -Wextra -Werror -I "$src/devicelink")
"${cxx%g++}windres" -I "$src/app" "$src/app/orvanta.rc" -O coff -o "$out/orvanta_rc.o"
objects=()
for source in devicelink/udpsocket.cpp devicelink/udpsocket_win.cpp devicelink/timerresolution_win.cpp \
    devicelink/history_win.cpp tests/packaging/udpsocket_check.cpp; do
    object=$out/$(basename "${source%.cpp}").o
    "$cxx" "${flags[@]}" -c "$src/$source" -o "$object"
    objects+=("$object")
done
"$cxx" -static -o "$out/udpsocket_check.exe" "${objects[@]}" "$out/orvanta_rc.o" -lws2_32 -lwinmm
file "$out/udpsocket_check.exe" | grep -q 'PE32+ executable'
echo "windows cross build: ok"
[ -n "$wine" ] || exit 0
# The prefix is kept between runs: making it is most of a cold run. Mono and
# Gecko are never needed, so their installers are not offered.
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
status=0
"$wine" "$out/udpsocket_check.exe" | tr -d '\r' || status=$?
# Stop this prefix's wineserver now rather than seconds after the test ends.
"$(dirname "$wine")/wineserver" -k 2>/dev/null || true
exit "$status"
