#!/usr/bin/env bash
# Builds the Debian package, checks what it declares and holds, unpacks it
# into a scratch prefix and starts the unpacked program offscreen in a lab
# namespace, where it must list the simulated camera.
set -euo pipefail
build=$1 src=$2 camsim=$3 out=$4 qt=$5
rm -rf "$out" && mkdir -p "$out"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out/pkg" >/dev/null)
deb=$(ls "$out"/pkg/orvanta_*.deb)
echo "package: $(basename "$deb")"
info=$(dpkg-deb -I "$deb")
echo "$info" | grep -q '^ Package: orvanta' || { echo "wrong package name"; exit 1; }
# It depends on the Qt it was built with, and on no other.
other=$((11 - qt))
echo "$info" | grep -E "^ Depends:.*libqt${qt}widgets${qt}" >/dev/null &&
  ! echo "$info" | grep -E "^ Depends:.*libqt${other}" >/dev/null ||
  { echo "Depends does not name Qt $qt Widgets alone:"; echo "$info"; exit 1; }
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/orvanta ./usr/bin/orvanta-cli ./usr/share/applications/orvanta.desktop ./usr/share/icons/hicolor/256x256/apps/orvanta.png \
    ./usr/share/man/man1/orvanta-cli.1.gz ./usr/share/bash-completion/completions/orvanta-cli; do
  echo "$contents" | grep -q " $f\$" || { echo "missing $f in the package"; exit 1; }
done
# The package's dependencies must be satisfiable here (nothing is installed).
dpkg --dry-run -i "$deb" >/dev/null
root="$out/root"
dpkg-deb -x "$deb" "$root"
# The manual page is the program's own help, every command's options included.
zcat "$root/usr/share/man/man1/orvanta-cli.1.gz" | grep -qF 'Writes no history.' ||
  { echo "the manual page lacks the commands' options"; exit 1; }
cat > "$out/one.lab" <<'LAB'
segment a
host nic0 a 192.0.2.1/24
camera cam1 a 192.0.2.10/24 --serial PKG0001 --version 2.3 --mac 02:00:00:00:0a:01
LAB
cat > "$out/start.sh" <<RUN
#!/usr/bin/env bash
# The installed program, started offscreen; it lists what it discovers on the
# debug stream, then is stopped.
QT_QPA_PLATFORM=offscreen timeout -s TERM 8 "$root/usr/bin/orvanta" > "$out/orvanta.log" 2>&1 || true
grep -q 'Camera 192.0.2.10:PKG0001:020000000a01' "$out/orvanta.log"
RUN
chmod +x "$out/start.sh"
if ! "$src/scripts/lab" --camsim "$camsim" "$out/one.lab" -- "$out/start.sh"; then
  echo "the unpacked program did not list the simulated camera; its output:"
  cat "$out/orvanta.log" || true
  exit 1
fi
echo "deb package: ok"
