#!/usr/bin/env bash
# Files whose headers claim huge images must fail fast and small through vxtool: exit
# status 1, a message naming the pixel limit, well under a second, and under 100 MB of
# address space beyond what the program needs to start. With the limit lifted the
# readers' data bounds must still refuse them.
# The limit itself must be adjustable both ways.
#   bombs.sh VXTOOL CORPUS_DIR WORK_DIR [--no-memory-cap]
set -uo pipefail
vxtool=$1 corpus=$2 work=$3
cap_memory=1
[ "${4:-}" = "--no-memory-cap" ] && cap_memory=0   # sanitizers reserve terabytes of address space
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
python3 "$here/make_bombs.py" "$work" "$corpus" || { echo "cannot make the bomb files"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The address space vxtool needs to start at all (its shared libraries, FFmpeg's among
# them, map far more than they use), found in 25 MB steps; the bombs get 100 MB on top.
base_kb=0
if ((cap_memory)); then
  for ((kb = 51200; kb <= 2097152; kb += 25600)); do
    if (ulimit -v $kb; "$vxtool" --help) >/dev/null 2>&1; then
      base_kb=$kb
      break
    fi
  done
  ((base_kb)) || { echo "vxtool does not start under 2 GB of address space"; exit 1; }
fi
cap_kb=$((base_kb + 102400))

# Runs vxtool with 100 MB of address space beyond what it starts with; sets status,
# elapsed (ms) and err.
run() {
  local start end
  start=$(date +%s%N)
  if ((cap_memory)); then
    err=$( (ulimit -v $cap_kb; "$vxtool" "$@") 2>&1 >/dev/null)
  else
    err=$("$vxtool" "$@" 2>&1 >/dev/null)
  fi
  status=$?
  end=$(date +%s%N)
  elapsed=$(((end - start) / 1000000))
}

for f in "$work"/bomb*; do
  name=$(basename "$f")
  run convert "$f" "$work/out.png"
  [ "$status" -eq 1 ] || fail "$name: exit status $status (want 1): $err"
  grep -q "pixel limit" <<<"$err" || fail "$name: message does not name the pixel limit: $err"
  grep -q -- "--max-pixels" <<<"$err" || fail "$name: message does not say how to raise the limit: $err"
  # A second is the goal; the margin is for sanitizer builds on a loaded machine.
  [ "$elapsed" -lt 3000 ] || fail "$name: took $elapsed ms"

  run --max-pixels 0 convert "$f" "$work/out.png"
  [ "$status" -eq 1 ] || fail "$name with no limit: exit status $status (want 1): $err"
  [ "$elapsed" -lt 3000 ] || fail "$name with no limit: took $elapsed ms"

  # Reading the parameters still tells the size the file claims.
  "$vxtool" info "$f" | grep -q "image .*[0-9]\{5\} x [0-9]\{5\}" || fail "$name: info lost the claimed size"
done

# A real image just over and just under a lowered limit.
"$vxtool" convert "$corpus/jpeg/testorig.jpg" "$work/real.bmp" >/dev/null || fail "cannot convert the sample"
run --max-pixels 10000 convert "$work/real.bmp" "$work/small.png"
[ "$status" -eq 1 ] || fail "227x149 image under a 10000-pixel limit: exit status $status"
run --max-pixels 33823 convert "$work/real.bmp" "$work/small.png"
[ "$status" -eq 0 ] || fail "227x149 image at exactly its own size as the limit: exit status $status: $err"
run --max-pixels abc info "$work/real.bmp"
[ "$status" -eq 2 ] || fail "a malformed --max-pixels is a usage error (got $status)"

if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "all bomb files refused"
