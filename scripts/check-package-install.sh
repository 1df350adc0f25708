#!/usr/bin/env bash
# Installs a velmora package with apt as a user would, runs velmora-render from the
# installed files, removes the package again and checks that nothing of it is left: the
# installed packages are afterwards those of before. Needs root; meant for throw-away
# machines (CI). Usage: check-package-install.sh PACKAGE.deb VERSION
set -euo pipefail
deb=$(realpath "$1")
version=$2
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "check-package-install: $*" >&2
  exit 1
}

installed_packages() {
  dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort
}

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' velmora 2>/dev/null || true)" = installed ]
}

is_installed && fail "velmora is installed already; this check would replace it"
work=$(mktemp -d)
installed_packages >"$work/before"

# Whatever happens, the package and what apt installed with it go again.
restore() {
  if is_installed || dpkg-query -W velmora >/dev/null 2>&1; then apt-get purge -y -q velmora >/dev/null || true; fi
  installed_packages >"$work/after"
  mapfile -t added < <(comm -13 "$work/before" "$work/after")
  if [ ${#added[@]} -gt 0 ]; then apt-get purge -y -q "${added[@]}" >/dev/null || true; fi
}
trap 'restore; rm -rf "$work"' EXIT

echo "=== apt-get install $(basename "$deb")"
# Recommends (a sound server, xdg-utils) are left out: they are not needed here.
apt-get install -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$deb"
dpkg-query -L velmora >"$work/package-files"

echo "=== velmora-render from the installed files"
shown=$(/usr/bin/velmora-render --version)
[ "$shown" = "velmora-render $version" ] || fail "--version shows '$shown', the package is $version"
echo "$shown"
mkdir "$work/run"
printf '[Velmora]\nFrequency=1500\nOffset=10\nDuration=300\nText=CQ\n' >"$work/run/test.ini"
# The font comes from the installed files: none is in the current folder.
(cd "$work/run" && /usr/bin/velmora-render --settings test.ini --text TEST test.wav) 2>"$work/stderr" ||
  fail "velmora-render --text TEST failed: $(cat "$work/stderr")"
[ ! -s "$work/stderr" ] || fail "velmora-render said: $(cat "$work/stderr")"
# TEST: 4 glyphs of 5 columns and 3 gaps, 3307 samples of 2 bytes each, after a 44-byte header.
size=$(stat -c %s "$work/run/test.wav")
[ "$size" -eq $((44 + 23 * 3307 * 2)) ] || fail "test.wav has $size bytes"
file -b "$work/run/test.wav"

echo "=== apt-get remove velmora"
apt-get remove -y -q -o Dpkg::Use-Pty=0 velmora
is_installed && fail "velmora is still installed"
while IFS= read -r path; do
  # Folders the package shares with others stay; its own files must be gone.
  [ -d "$path" ] && [ ! -L "$path" ] && continue
  if [ -e "$path" ] || [ -L "$path" ]; then fail "$path is left after apt-get remove"; fi
done <"$work/package-files"
for folder in /usr/share/velmora /usr/share/doc/velmora; do
  [ ! -e "$folder" ] || fail "$folder is left after apt-get remove"
done
restore
installed_packages | diff -u "$work/before" - || fail "the installed packages differ from those of before"
echo "velmora removed; the installed packages are those of before"
