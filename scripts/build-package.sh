#!/usr/bin/env bash
# Builds the Debian package velmora_<version>_<arch>.deb from a Release build of the programs
# alone (no tests, no benchmarks), with Debian's hardening flags, in build-package/ (or the
# folder given). Prints the package's path on standard output, everything else on standard error.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build-package}")
cd "$source_dir"

"$source_dir/scripts/install-deps.sh" package >&2

# dpkg-buildflags gives the flags Debian builds its packages with: with every hardening
# feature on, a stack protector, fortified functions, read-only relocations and immediate
# binding.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
linker_flags=$(dpkg-buildflags --get LDFLAGS)
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

mkdir -p "$build_dir"
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCHMARKS=OFF -DVELMORA_SOURCE_FONT_FALLBACK=OFF "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >"$build_dir/configure.log" 2>&1 ||
  { cat "$build_dir/configure.log" >&2; exit 1; }
cmake --build "$build_dir" -j"$(nproc)" >&2

rm -f "$build_dir"/velmora_*.deb
(cd "$build_dir" && cpack -G DEB) >&2
packages=("$build_dir"/velmora_*.deb)
[ -f "${packages[0]}" ] || { echo "cpack made no velmora_*.deb" >&2; exit 1; }
echo "${packages[0]}"
