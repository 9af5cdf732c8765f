#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs vorlen
# and fbwfsim from there: the installed tool finds the installed stand-in and
# nothing of the build folder.
#   installed.sh BUILD_DIR [hardened|plain]
build=$1 hardened=${2:-hardened}
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
root=$work
golden banner.txt banner

(cd "$build" && cpack -G DEB -B "$root/packages" > "$root/cpack.log" 2>&1) ||
  { cat "$root/cpack.log"; exit 1; }
deb=$(ls "$root"/packages/*.deb)
dpkg-deb -x "$deb" "$root/fs"
echo "unpacked $(basename "$deb")"

for file in usr/bin/vorlen usr/bin/vorlenctl usr/bin/fbwfsim usr/lib/vorlen/libfbwflib.so \
  usr/share/man/man1/vorlen.1.gz usr/share/man/man1/vorlenctl.1.gz usr/share/bash-completion/completions/vorlenctl \
  usr/share/man/man1/fbwfsim.1.gz usr/share/bash-completion/completions/vorlen \
  usr/share/bash-completion/completions/fbwfsim usr/share/doc/vorlen/README.md \
  usr/share/doc/vorlen/copyright usr/share/doc/vorlen/changelog.Debian.gz; do
  [ -f "$root/fs/$file" ] || fail "the package lacks $file"
done
# The monitoring definitions are the ones the engines' tests run, and the
# plugin they name is vorlenctl's check.
for pair in "monitoring/icinga2/fbwf.conf usr/share/icinga2/include/plugins-contrib.d/fbwf.conf" \
  "monitoring/nagios4/fbwf.cfg usr/share/vorlen/nagios4/fbwf.cfg"; do
  read -r source installed <<< "$pair"
  cmp -s "$(dirname "$0")/../../$source" "$root/fs/$installed" || fail "the package's $installed is not $source"
done
[ "$(readlink "$root/fs/usr/lib/nagios/plugins/check_fbwf")" = ../../../bin/vorlenctl ] &&
  "$root/fs/usr/lib/nagios/plugins/check_fbwf" --version | grep -q '^vorlenctl check (vorlen) ' ||
  fail "the package's check_fbwf is not vorlenctl's check"
# The stand-in is a test library: never where any program's -lfbwflib or
# dlopen would find it.
dpkg-deb -c "$deb" | grep -E 'libfbwflib' | grep -v ' ./usr/lib/vorlen/libfbwflib.so$' &&
  fail "the stand-in is installed outside its private folder"
for program in vorlen vorlenctl; do
  runpath=$(readelf -d "$root/fs/usr/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = '$ORIGIN/../lib/vorlen' ] || fail "installed $program's run path is '$runpath'"
done
grep -q -F "$build" "$root/fs/usr/bin/vorlen" "$root/fs/usr/lib/vorlen/libfbwflib.so" &&
  fail "an installed file names the build folder"
# Debian's own check of the package: no error, no warning (and no override).
if command -v lintian > /dev/null; then
  lintian --tag-display-limit 0 "$deb" > "$root/lintian" 2>&1
  grep -E '^[EW]: ' "$root/lintian" && fail "lintian finds errors or warnings in $(basename "$deb")"
  # A sanitized build has instruments of its own instead.
  if [ "$hardened" = hardened ]; then
    lintian --pedantic -E -I "$deb" > "$root/lintian-all" 2>&1
    grep -E 'hardening-' "$root/lintian-all" && fail "lintian finds binaries not hardened as Debian's are"
  fi
  dpkg-deb -f "$deb" Recommends | grep -qx 'bash-completion' || fail "the package does not recommend bash-completion"
else
  fail "lintian is not installed (Debian's lintian)"
fi

export FBWFSIM_DIR="$root/state"
unset LD_LIBRARY_PATH
"$root/fs/usr/bin/vorlen" -enable > /dev/null
"$root/fs/usr/bin/fbwfsim" reboot || fail "installed fbwfsim reboot failed"
"$root/fs/usr/bin/vorlen" -fbwfstate > "$root/out"
printf '%sFBWF is ENABLED\nFBWF for the next session is ENABLED\n' "$banner" > "$root/expected"
cmp -s "$root/expected" "$root/out" || { fail "installed vorlen -fbwfstate"; cat "$root/out"; }
"$root/fs/usr/bin/vorlenctl" test - <<< '{"filter": true}' > /dev/null || fail "installed vorlenctl test: $?"
"$root/fs/usr/bin/fbwfsim" show > /dev/null || fail "installed fbwfsim show failed"

# cmake --install into any prefix gives the same layout.
cmake --install "$build" --prefix "$root/prefix" > /dev/null || fail "cmake --install failed"
"$root/prefix/bin/vorlen" -fbwfstate > "$root/out"
cmp -s "$root/expected" "$root/out" || { fail "vorlen installed into a prefix"; cat "$root/out"; }
finish "installed vorlen, vorlenctl and fbwfsim ran from the unpacked package and a prefix"
