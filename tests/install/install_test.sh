#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and uses it as a library user would: a CMake
# project (find_package(Vantix), Vantix::vxcore and Vantix::vxcontrols) and plain compiler
# commands through pkg-config (vantix-core, vantix). Each consumer loads a BMP written
# here and must run cleanly; the installed programs must start from the prefix.
#
#   install_test.sh BUILD_DIR WORK_DIR CXX LIBDIR [LAUNCHER]
#
# WORK_DIR is wiped first. LAUNCHER (e.g. ccache) goes in front of every compile.
set -euo pipefail

build=$1
work=$2
cxx=$3
libdir=$4
launcher=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
consumer="$here/consumer"

fail() {
  echo "install test: $*" >&2
  exit 1
}
step() { echo "== $*"; }

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

step "install into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log"
  fail "cmake --install failed"
}
[ -f "$prefix/include/vantix/io/vantixio.h" ] || fail "headers are not under include/vantix"
[ -f "$prefix/$libdir/cmake/Vantix/VantixConfig.cmake" ] || fail "no package configuration"
[ -f "$prefix/$libdir/pkgconfig/vantix-core.pc" ] || fail "no vantix-core.pc"
widgets=0
[ -f "$prefix/$libdir/pkgconfig/vantix.pc" ] && widgets=1

# Nothing installed may point back into the build or source tree: the prefix must stand on
# its own once the tree is gone.
src=$(cd "$here/../.." && pwd)
build_abs=$(cd "$build" && pwd)
if grep -rlF -e "$build_abs" -e "$src/" "$prefix/$libdir/cmake" "$prefix/$libdir/pkgconfig"; then
  fail "installed package files name the build or source tree"
fi

# A 7 x 5 24-bit BMP, rows bottom-up, the picture of consumer/sample.h.
python3 - "$work/sample.bmp" <<'EOF'
import struct, sys
w, h = 7, 5
stride = (w * 3 + 3) & ~3
rows = b""
for y in reversed(range(h)):
    row = b"".join(bytes((200 - 3 * x - 7 * y, 50 * y + 5, 30 * x + 10)) for x in range(w))
    rows += row + b"\0" * (stride - len(row))
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
open(sys.argv[1], "wb").write(head + info + rows)
EOF

export QT_QPA_PLATFORM=offscreen

check_png() {
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    fail "$1 is not a PNG file"
}

# The headless consumer must not pull in Qt.
check_headless() {
  if readelf -d "$1" | grep -q 'libQt6'; then fail "$1 links Qt"; fi
}

run_consumers() {
  local dir=$1
  "$dir/core_consumer" "$work/sample.bmp" "$dir/out.png" || fail "$dir/core_consumer failed"
  check_png "$dir/out.png"
  check_headless "$dir/core_consumer"
  if ((widgets)); then
    "$dir/view_consumer" "$work/sample.bmp" || fail "$dir/view_consumer failed"
  fi
}

step "CMake consumer"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launch=()
[ -n "$launcher" ] && launch=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
cmake -S "$consumer" -B "$work/cmake" "${generator[@]}" "${launch[@]}" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/cmake-configure.log" 2>&1 || {
  cat "$work/cmake-configure.log"
  fail "the consumer project does not configure"
}
found=$(sed -n 's/^Vantix_DIR:PATH=//p' "$work/cmake/CMakeCache.txt")
[ "$found" = "$prefix/$libdir/cmake/Vantix" ] || fail "find_package found Vantix in '$found'"
cmake --build "$work/cmake" -j 2 >"$work/cmake-build.log" 2>&1 || {
  cat "$work/cmake-build.log"
  fail "the consumer project does not build"
}
if ((widgets)) && [ ! -x "$work/cmake/view_consumer" ]; then
  fail "find_package(Vantix) gave no Vantix::vxcontrols"
fi
run_consumers "$work/cmake"

step "pkg-config consumer"
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
pc=$work/pkgconfig
mkdir -p "$pc"
read -ra core_flags <<<"$(pkg-config --cflags vantix-core) $(pkg-config --static --libs vantix-core)"
$launcher "$cxx" -std=c++20 -o "$pc/core_consumer" "$consumer/core_consumer.cpp" "${core_flags[@]}" ||
  fail "the vantix-core consumer does not build"
if ((widgets)); then
  read -ra view_flags <<<"$(pkg-config --cflags --libs vantix)"
  $launcher "$cxx" -std=c++20 -o "$pc/view_consumer" "$consumer/view_consumer.cpp" \
    "${view_flags[@]}" -Wl,-rpath,"$prefix/$libdir" || fail "the vantix consumer does not build"
fi
run_consumers "$pc"

step "installed programs"
"$prefix/bin/vxtool" info "$work/sample.bmp" >/dev/null || fail "the installed vxtool does not run"
if [ -x "$prefix/bin/vxviewer" ]; then
  "$prefix/bin/vxviewer" --screenshot "$work/shot.png" "$work/sample.bmp" ||
    fail "the installed vxviewer does not run"
  check_png "$work/shot.png"
fi
echo "install test: passed"
