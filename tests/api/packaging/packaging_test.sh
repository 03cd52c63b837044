#!/usr/bin/env bash
# Installs the player library's component into a fresh prefix and builds a
# small C caller against it twice: with pkg-config and with find_package.
# Arguments: build directory, directory holding caller.c.
set -euo pipefail
build=$1
here=$2
work=$(mktemp -d /tmp/qor_pkg_XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" --component qor_player >/dev/null
lib="$prefix/lib"
test -L "$lib/libQOR_Player.so"
test -e "$lib/libQOR_Player.so.1"
readelf -d "$lib/libQOR_Player.so" | grep -q 'SONAME.*libQOR_Player.so.1'
for component in DecoderMarlin orcaOspreydec avcdecode; do test -e "$lib/lib$component.so"; done
test -f "$prefix/include/qor_player.h"
test -f "$prefix/include/qor_player_records.h"

# Only the interface functions are exported.
leaked=$(nm -D --defined-only "$lib/libQOR_Player.so" | awk '{print $3}' | grep -v '^QORPLAYER_' || true)
if [ -n "$leaked" ]; then
  echo "symbols beyond the interface: $leaked" >&2
  exit 1
fi

# Every function the header declares is exported.
declared=$(grep -o 'QORPLAYER_[A-Za-z]*(' "$prefix/include/qor_player.h" | tr -d '(' | sort -u)
exported=$(nm -D --defined-only "$lib/libQOR_Player.so" | awk '{print $3}' | sort -u)
if [ "$declared" != "$exported" ]; then
  diff <(echo "$declared") <(echo "$exported") >&2 || true
  exit 1
fi

# pkg-config.
export PKG_CONFIG_PATH="$lib/pkgconfig"
flags=$(pkg-config --cflags --libs qor_player)
cc -std=c99 -Wall -Wextra -Werror -pedantic -o "$work/caller_pc" "$here/caller.c" $flags -Wl,-rpath,"$lib"
(cd "$work" && ./caller_pc)

# find_package.
mkdir -p "$work/cmake_caller"
cp "$here/caller.c" "$work/cmake_caller/"
cp "$here/CMakeLists.txt.in" "$work/cmake_caller/CMakeLists.txt"
cmake -S "$work/cmake_caller" -B "$work/cmake_caller/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$lib" >/dev/null
cmake --build "$work/cmake_caller/build" >/dev/null
"$work/cmake_caller/build/caller"
echo "packaging ok"
