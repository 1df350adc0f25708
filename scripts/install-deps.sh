#!/usr/bin/env bash
# Installs the Debian packages Velmora needs that are missing. Usage: install-deps.sh build|package|test
set -euo pipefail

build_packages=(
  cmake g++ make pkg-config      # the toolchain
  qt6-base-dev libgl-dev         # Qt 6 Widgets (libgl-dev: Qt's CMake files require OpenGL headers)
  libpulse-dev                   # sound output and input through PulseAudio / PipeWire
  libhamlib-dev                  # keying any rig by its model, or through rigctld and flrig
  libfftw3-dev                   # the waterfall picture's Fourier transform
  libpng-dev                     # velmora-render --waterfall writes PNG pictures
  librsvg2-bin                   # rsvg-convert draws the icon's PNG sizes from its SVG
)
package_packages=(
  dpkg-dev file                  # cpack's Debian dependencies from the binaries (dpkg-shlibdeps, file)
)
test_packages=(
  libgtest-dev libgmock-dev      # unit tests
  libbenchmark-dev               # synthesis and waterfall benchmarks
  pulseaudio pulseaudio-utils    # a private sound server with null sinks, and parec to capture them
  libhamlib-utils                # rigctld with the dummy rig, and rigctl to read its PTT back
  pipewire pipewire-pulse wireplumber  # the same null sinks on a private PipeWire, through its pulse server
  locales                        # localedef's character maps: a decimal-comma locale for a formatting test
  xvfb xauth xdotool             # the real window under a virtual X server
  dbus dbus-x11 at-spi2-core python3-pyatspi  # driving the window through its accessibility names
  lintian desktop-file-utils appstream  # the package check: Debian's checker, the desktop entry and AppStream validators
)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 build|package|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then as_root=(sudo); else
    echo "These packages are missing and this user cannot install them: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
