#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch
# root and starts the installed program there, offscreen, on the simulated
# bench it brings beside itself. Passes when the program reaches the ready
# state and the package holds what an installation needs.
#
#   scripts/package-test.sh [build-folder]     (default: ./build)
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvel-morrow-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "package-test: $*" >&2
  exit 1
}

echo "package-test: cpack in $build_dir"
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$scratch/out" -maxdepth 1 -name 'tarvel-morrow_*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
echo "package-test: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "package-test: Depends: $depends"
for needed in libqt6widgets6 libyaml-cpp libavahi-client3 libmicrohttpd12; do
  grep -q "$needed" <<<"$depends" || fail "Depends does not name $needed"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
program=$(find "$root" -path '*/lib/tarvel-morrow/tarvel-morrow' -type f | head -n 1)
[ -n "$program" ] || fail "the package holds no lib/tarvel-morrow/tarvel-morrow"
prefix=${program%/lib/tarvel-morrow/tarvel-morrow}
echo "package-test: installed under ${prefix#"$root"}"
# Debian keeps /usr/local for the administrator: the package installs into
# /usr whatever prefix the build had.
[ "${prefix#"$root"}" = /usr ] || fail "the package installs under ${prefix#"$root"}, not /usr"

for file in \
  bin/tarvel-morrow \
  bin/tm-adapter-emulator \
  bin/tm-adapter-check \
  bin/tm-boards \
  bin/tm-gateway \
  bin/tm-gateway-emulator \
  lib/tarvel-morrow/libtm-gpib.so \
  lib/tarvel-morrow/Quillon2.chm \
  share/tarvel-morrow/help/Quillon.chm \
  share/tarvel-morrow/help/Quillon2.chm \
  share/tarvel-morrow/help/Quillon2.hhp \
  share/tarvel-morrow/help/html/window.html \
  share/tarvel-morrow/help/html/drivers.html \
  share/applications/tarvel-morrow.desktop \
  share/icons/hicolor/16x16/apps/tarvel-morrow.png \
  share/icons/hicolor/32x32/apps/tarvel-morrow.png \
  share/icons/hicolor/48x48/apps/tarvel-morrow.png \
  share/doc/tarvel-morrow/copyright \
  share/doc/tarvel-morrow/changelog.gz; do
  [ -e "$prefix/$file" ] || fail "missing $file"
done

# The gateway's unit, disabled (no maintainer script enables or starts it,
# they only tell systemd the unit files changed), and its options file as a
# conffile.
unit=$root/lib/systemd/system/tm-gateway.service
[ -f "$unit" ] || fail "missing /lib/systemd/system/tm-gateway.service"
grep -qx 'ExecStart=/usr/bin/tm-gateway $TM_GATEWAY_OPTIONS' "$unit" || fail "the unit starts no /usr/bin/tm-gateway"
grep -qx 'EnvironmentFile=-/etc/default/tm-gateway' "$unit" || fail "the unit reads no /etc/default/tm-gateway"
[ -f "$root/etc/default/tm-gateway" ] || fail "missing /etc/default/tm-gateway"
dpkg-deb -e "$deb" "$scratch/control"
grep -qx /etc/default/tm-gateway "$scratch/control/conffiles" || fail "/etc/default/tm-gateway is no conffile"
# What the maintainer scripts run, comments left out.
scripts=$(cd "$scratch/control" && cat preinst postinst prerm postrm 2>/dev/null | grep -v '^[[:space:]]*#' || true)
if grep -qE 'systemctl +(--[a-z]+ +)*(enable|start|restart|reload-or|try)|deb-systemd' <<<"$scripts"; then
  fail "a maintainer script enables or starts the gateway"
fi
# The libraries live in folders of their own, outside the dynamic linker's cache.
if grep -q ldconfig <<<"$scripts"; then
  fail "a maintainer script runs ldconfig"
fi

# Every command has a manual page where man finds it, which says what the
# command is (not help2man's stand-in) and which man renders without a
# warning.
for command in "$prefix"/bin/*; do
  name=$(basename "$command")
  page=$prefix/share/man/man1/$name.1.gz
  [ -f "$page" ] || fail "no manual page for $name (man/CMakeLists.txt: tm_man_page($name))"
  found=$(MANPATH="$prefix/share/man" man -w "$name" 2>/dev/null) || fail "man finds no page for $name"
  [ "$found" = "$page" ] || fail "man finds $found for $name, not $page"
  zcat "$page" | grep -A1 '^\.SH NAME' | grep -q "^$name \\\\- [a-z]" ||
    fail "the page of $name has no NAME line of its own"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about the page of $name: $warnings"
done
echo "package-test: a manual page for each of: $(ls "$prefix/bin" | tr '\n' ' ')"

# Debian's own checks: no error, and no warning but those an overrides file
# in the package accepts with its reason.
if [ "${TM_PACKAGE_LINTIAN:-run}" = skip ]; then
  echo "package-test: lintian left out (TM_PACKAGE_LINTIAN=skip: a sanitizer build's package)"
else
  command -v lintian >/dev/null || fail "lintian is not installed (scripts/deps.sh installs it)"
  lintian_log=$scratch/lintian.log
  if ! lintian --fail-on error,warning --display-info "$deb" >"$lintian_log" 2>&1; then
    cat "$lintian_log" >&2
    fail "lintian reports errors or warnings"
  fi
  echo "package-test: lintian:"
  sed 's/^/    /' "$lintian_log"
fi

# Nothing of the build tree may remain in the installed program.
if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -q "$build_dir"; then
  fail "the installed program still names the build folder in its run path"
fi

run() {
  env -u GPIB_LIBRARY -u GPIB_SIM_BENCH -u GPIB_SIM_TRACE \
    QT_QPA_PLATFORM=offscreen GPIB_SIM_INSTANT=1 TARVEL_MORROW_READY_PROBE=1 \
    XDG_RUNTIME_DIR="$scratch" timeout 30 "$1" 2>"$scratch/stderr" || true
}
for start in "$program" "$prefix/bin/tarvel-morrow"; do
  output=$(run "$start")
  echo "package-test: ${start#"$root"}:"
  sed 's/^/    /' <<<"$output"
  grep -qx 'state: ready' <<<"$output" || { cat "$scratch/stderr" >&2; fail "not ready"; }
  # The double click opens this installation's help file, whatever prefix
  # the program was built for.
  grep -qx 'double-click help: /usr/share/tarvel-morrow/help/Quillon2.chm' <<<"$output" ||
    fail "the double click's help file is not the installed one"
done
echo "package-test: passed"
