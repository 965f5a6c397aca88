#!/usr/bin/env bash
# Builds the Windows-only pieces with the mingw-w64 cross compiler so they
# cannot rot: the resource script (icon + manifest), the Winsock branch of the
# socket layer, the timer-resolution guard, and a small program linking them.
set -euo pipefail
src=$1 out=$2
rm -rf "$out" && mkdir -p "$out"
cxx=x86_64-w64-mingw32-g++
"${cxx%g++}windres" -I "$src/app" "$src/app/orvanta.rc" -O coff -o "$out/orvanta_rc.o"
"$cxx" -std=c++17 -Wall -Wextra -Werror -c "$src/devicelink/udpsocket_win.cpp" -I "$src/devicelink" -o "$out/udpsocket.o"
"$cxx" -std=c++17 -Wall -Wextra -Werror -c "$src/tests/packaging/winsock_smoke.cpp" \
    -I "$src/devicelink" -o "$out/winsock_smoke.o"
"$cxx" -static -o "$out/winsock_smoke.exe" "$out/winsock_smoke.o" "$out/udpsocket.o" \
    "$out/orvanta_rc.o" -lws2_32 -lwinmm
file "$out/winsock_smoke.exe" | grep -q 'PE32+ executable'
echo "windows cross build: ok"
