#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it in the user's own Velmora folder,
# where Velmora.ini and Logfile.txt live.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build-release"

"$source_dir/scripts/install-deps.sh" build
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCHMARKS=OFF
cmake --build "$build_dir" -j"$(nproc)" --target velmora velmora-render

user_folder="${XDG_DATA_HOME:-$HOME/.local/share}/velmora"
mkdir -p "$user_folder"
cd "$user_folder"
echo "Starting Velmora in $user_folder"
exec "$build_dir/src/app/velmora"
