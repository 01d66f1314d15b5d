#!/usr/bin/env bash
# Builds every libFuzzer target tests/fuzz/fuzz_*.cpp with clang++ into
# build-fuzz/ and runs each for a number of seconds on its corpus folder.
#
#   tools/fuzz.sh [seconds] [target...]     (default 60 seconds, all targets)
#
# A target names the src/ files it needs beyond src/rt/*.cpp in a comment
# line "// fuzz-sources: src/a.cpp src/b.cpp". Inputs that add coverage are
# merged into tests/fuzz/corpus/<target>/, so the committed corpus stays small.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
out=$root/build-fuzz
cxx=${FUZZ_CXX:-clang++}

if ! [[ $seconds =~ ^[0-9]+$ ]]; then
    echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2
    exit 2
fi
command -v "$cxx" >/dev/null || { echo "fuzz.sh: $cxx not found" >&2; exit 2; }

flags=(-std=c++20 -g -O1 -Wall -Wextra
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I "$root/tests/fuzz/compat" -I "$root/src")

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in "$root"/tests/fuzz/fuzz_*.cpp; do
        [ -e "$src" ] && targets+=("$(basename "$src" .cpp)")
    done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no targets in tests/fuzz/" >&2; exit 2; }

# The runtime and the platform files it stands on go into every target.
rt_sources=()
for src in "$root"/src/rt/*.cpp; do
    [[ $src == *_win32.cpp ]] || rt_sources+=("$src")
done
rt_platform=(src/platform/posix/fs.cpp src/platform/posix/fs_data.cpp src/platform/posix/signals.cpp
             src/platform/posix/streams.cpp src/platform/path_mode.cpp)

mkdir -p "$out"
failed=()
for target in "${targets[@]}"; do
    src=$root/tests/fuzz/$target.cpp
    [ -f "$src" ] || { echo "fuzz.sh: no $src" >&2; failed+=("$target"); continue; }
    extra=()
    while read -r file; do
        extra+=("$root/$file")
    done < <({ sed -n 's|^// fuzz-sources:||p' "$src"; printf '%s\n' "${rt_platform[@]}"; } |
        tr ' ' '\n' | sed '/^$/d' | sort -u)

    echo "== $target: build"
    if ! "$cxx" "${flags[@]}" "$src" "${extra[@]}" "${rt_sources[@]}" -o "$out/$target"; then
        failed+=("$target")
        continue
    fi

    corpus=$root/tests/fuzz/corpus/$target
    work=$out/corpus-$target
    mkdir -p "$corpus"
    rm -rf "$work"
    mkdir -p "$work"
    echo "== $target: run ${seconds}s"
    # New inputs go to the scratch folder first; only those that add
    # coverage are merged into the committed corpus afterwards.
    if ! "$out/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$out/$target-" "$work" "$corpus"; then
        echo "== $target: FAILED (artifacts under $out/$target-*)" >&2
        failed+=("$target")
        continue
    fi
    "$out/$target" -merge=1 "$corpus" "$work" 2>&1 | tail -n 1
    rm -rf "$work"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz.sh: all targets clean"
