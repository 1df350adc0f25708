#!/usr/bin/env bash
# Builds the Debian package and checks it: its name and files, the desktop entry and the
# AppStream data, and lintian. Only as root with CI=true (a throw-away machine) it also
# installs the package with apt, runs velmora-render from the installed files, and removes
# it again, leaving the installed packages as they were.
# Usage: check-package.sh [BUILD_DIR]   (default build-package/)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS

fail() {
  echo "check-package: $*" >&2
  exit 1
}

deb=$("$source_dir/scripts/build-package.sh" "$@" | tail -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(dpkg-deb --field "$deb" Version)
arch=$(dpkg-deb --field "$deb" Architecture)
[ "$(basename "$deb")" = "velmora_${version}_${arch}.deb" ] ||
  fail "$(basename "$deb") is not named velmora_${version}_${arch}.deb"
echo "=== $(basename "$deb")"

echo "=== files (dpkg-deb -c)"
icon_sizes=(16 24 32 48 64 128 256)
expected=(
  /usr/bin/velmora /usr/bin/velmora-launcher /usr/bin/velmora-render /usr/bin/velmora-ptt-guard
  "/usr/share/velmora/5x7 (International).txt"
  /usr/share/applications/velmora.desktop
  /usr/share/metainfo/org.velmora.velmora.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/velmora.svg
  /usr/share/man/man1/velmora.1.gz /usr/share/man/man1/velmora-launcher.1.gz
  /usr/share/man/man1/velmora-render.1.gz /usr/share/man/man1/velmora-ptt-guard.1.gz
  /usr/share/doc/velmora/copyright /usr/share/doc/velmora/changelog.gz
)
for size in "${icon_sizes[@]}"; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png"); done
# Everything but folders, by name: exactly the expected files, owned by root.
dpkg-deb -c "$deb" >"$work/listing"
grep -v '^d' "$work/listing" | sed -E 's/^([^ ]+ +){5}\.//' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
diff -u --label expected --label "dpkg-deb -c" "$work/expected" "$work/files" ||
  fail "the package's files differ from the expected ones"
if grep -v ' root/root ' "$work/listing"; then fail "files not owned by root"; fi
echo "$(wc -l <"$work/files") files as expected, $(grep -c '^d' "$work/listing") folders," \
  "$(du -k "$deb" | cut -f1) KiB"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for size in "${icon_sizes[@]}"; do
  file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png" | grep -q "PNG image data, $size x $size," ||
    fail "the ${size}x${size} icon is not a PNG of that size"
done

# What the desktop entry starts and the AppStream data names are in the package.
desktop_file="$root/usr/share/applications/velmora.desktop"
metainfo="$root/usr/share/metainfo/org.velmora.velmora.metainfo.xml"
for program in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop_file") \
  $(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo"); do
  [ -x "$root/usr/bin/$program" ] || fail "$program is named but not in /usr/bin"
done
shown=$("$root/usr/bin/velmora-render" --version)
[ "$shown" = "velmora-render $version" ] || fail "--version shows '$shown', the package is $version"

echo "=== desktop-file-validate"
desktop-file-validate "$desktop_file" || fail "desktop entry not valid"
echo "=== appstreamcli validate-tree"
# The metainfo, and that the desktop entry it launches is in the package; no network.
appstreamcli validate-tree --no-net --pedantic "$root" || fail "AppStream data not valid"
echo "=== lintian"
lintian --fail-on error --display-level '>=info' "$deb" || fail "lintian found errors"

if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  "$source_dir/scripts/check-package-install.sh" "$deb" "$version"
else
  echo "=== installing with apt: skipped (only as root with CI=true, on a throw-away machine)"
fi
echo "Package check passed in $((SECONDS - started)) s"
