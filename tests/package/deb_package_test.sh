#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from a finished build tree,
# lintian-clean, unpacked into a throw-away root (dpkg -x) and checked there: every file
# in place, the menu entry valid and starting vqxsu in the home folder, the icons of
# their stated sizes, the manual pages readable, the dependencies found, and the
# installed vqxctl reporting the package's version and reading a simulated unit.
# Usage: deb_package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing (scripts/install-deps installs it)" >&2; exit 1; }; }
for tool in cpack dpkg dpkg-deb lintian desktop-file-validate gzip; do need "$tool"; done

work=$(mktemp -d "${TMPDIR:-/tmp}/vqx-deb-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

arch=$(dpkg --print-architecture)
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; exit 1; }
deb="$work/out/vqx-setup_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out" >&2; fail "no package named vqx-setup_${version}_${arch}.deb"; exit 1; }

# Lintian: no errors and no warnings (information tags are explained in the README).
if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1; then
  cat "$work/lintian.log" >&2
  fail "lintian reports errors or warnings"
fi

# The control fields.
[ "$(dpkg-deb -f "$deb" Package)" = vqx-setup ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libstdc++6 libc6 qt6-qpa-plugins; do
  [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
dpkg-deb -f "$deb" Description | grep -q "usermod -aG dialout" || fail "the description does not say to join dialout"

# Unpacked into a throw-away root.
root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/bin/vqxsu usr/bin/vqxctl usr/bin/vqxsim \
            usr/share/applications/vqxsu.desktop usr/share/icons/hicolor/scalable/apps/vqxsu.svg \
            usr/share/man/man1/vqxsu.1.gz usr/share/man/man1/vqxctl.1.gz usr/share/man/man1/vqxsim.1.gz \
            usr/share/bash-completion/completions/vqxctl \
            usr/share/doc/vqx-setup/copyright usr/share/doc/vqx-setup/changelog.gz \
            usr/share/doc/vqx-setup/vqxsu.txt.gz usr/share/doc/vqx-setup/vqxctl.txt.gz \
            usr/share/doc/vqx-setup/vqxsim.txt.gz; do
  [ -f "$root/$file" ] || fail "$file is not in the package"
done
for program in vqxsu vqxctl vqxsim; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is not executable"
  if readelf -d "$root/usr/bin/$program" 2>/dev/null | grep -E "R(UN)?PATH" | grep -q "$build"; then
    fail "usr/bin/$program still looks for libraries in the build tree"
  fi
done

# Icons: each PNG is as large as its folder says (width and height from the IHDR chunk).
for size in 16 24 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/vqxsu.png"
  if [ ! -f "$png" ]; then fail "no ${size}x${size} icon"; continue; fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "the ${size}x${size} icon is ${w}x${h}"
done

# The menu entry: valid, named, with an icon the package has, and its command starts
# vqxsu in the home folder (a stand-in vqxsu prints where it was started and how).
desktop="$root/usr/share/applications/vqxsu.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the menu entry"
grep -qx "Name=VQX Setup Utility" "$desktop" || fail "the menu entry is not named VQX Setup Utility"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the entry's icon $icon is not in the package"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
mkdir -p "$work/shim" "$work/home" "$work/elsewhere"
printf '#!/bin/sh\necho "$PWD $#"\n' >"$work/shim/vqxsu"
chmod +x "$work/shim/vqxsu"
started=$(cd "$work/elsewhere" && HOME="$work/home" PATH="$work/shim:$PATH" eval "$exec_line")
[ "$started" = "$work/home 0" ] || fail "the menu entry starts vqxsu as '$started', not in the home folder without options"

# Manual pages: whole gzip files whose roff is titled by the program.
for page in vqxsu vqxctl vqxsim; do
  man="$root/usr/share/man/man1/$page.1.gz"
  gzip -t "$man" 2>/dev/null || { fail "$page.1.gz is not a whole gzip file"; continue; }
  gzip -dc "$man" | grep -q "^\.TH \"$page\" \"1\"" || fail "$page.1.gz has no title $page(1)"
  gzip -dc "$man" | grep -q "VQX Setup Utility $version" || fail "$page.1.gz does not name version $version"
done
# The same manual as text, for reading without man: plain (no roff, no overstriking),
# its 78 columns, the page's own name and version.
for page in vqxsu vqxctl vqxsim; do
  text="$root/usr/share/doc/vqx-setup/$page.txt.gz"
  gzip -t "$text" 2>/dev/null || { fail "$page.txt.gz is not a whole gzip file"; continue; }
  gzip -dc "$text" | grep -q "^NAME$" || fail "$page.txt.gz has no NAME section"
  gzip -dc "$text" | grep -q "^ *$page - " || fail "$page.txt.gz does not describe $page"
  gzip -dc "$text" | grep -q "VQX Setup Utility $version" || fail "$page.txt.gz does not name version $version"
  gzip -dc "$text" | grep -q -e '^\.' -e $'\b' -e $'\e' && fail "$page.txt.gz holds roff requests or terminal controls"
  gzip -dc "$text" | awk 'length($0) > 80 { bad = 1 } END { exit bad }' || fail "$page.txt.gz has lines over 80 columns"
done
gzip -dc "$root/usr/share/man/man1/vqxsu.1.gz" | grep -q "home folder" ||
  fail "vqxsu(1) does not say where a menu-started vqxsu keeps its preferences"

# The installed programs themselves.
bin="$root/usr/bin"
for program in vqxsu vqxctl vqxsim; do
  out=$("$bin/$program" --version 2>&1) || fail "$program --version failed: $out"
  [[ $out == "$program $version "* ]] || fail "$program --version says '$out', not version $version"
done
mkdir -p "$work/run"
if ! (cd "$work/run" && timeout 60 "$bin/vqxctl" --quiet read --demo) >"$work/read.txt" 2>"$work/read.err"; then
  cat "$work/read.err" >&2
  fail "the installed vqxctl read --demo failed"
fi
grep -q "^Name: VQX-2$" "$work/read.txt" || fail "vqxctl read --demo printed no report"
grep -q "^Link status: " "$work/read.txt" || fail "vqxctl read --demo printed no link status"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of $deb failed" >&2
  exit 1
fi
echo "vqx-setup_${version}_${arch}.deb: lintian-clean, unpacked and checked"
