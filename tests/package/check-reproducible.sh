#!/bin/sh
# Usage: check-reproducible.sh CMAKE CPACK SOURCE_DIR BUILD_DIR WORK_DIR GENERATOR BUILD_TYPE TOOLCHAIN TOOL PYTHON
#
# Builds the commit of BUILD_DIR a second time and compares the two byte for
# byte. First the packages of BUILD_DIR itself, made with CPack (GENERATOR)
# into WORK_DIR/first: the package, its bill of materials and SHA256SUMS.
# Then a copy of SOURCE_DIR in another folder, configured alike (BUILD_TYPE,
# TOOLCHAIN: a file name in cmake/, or - for a native build) but without the
# tests and benchmarks, built and packed under another umask, locale and
# time zone, some time later, into WORK_DIR/second. The tool (TOOL, a path
# inside either build folder) and every file of WORK_DIR/first must be
# identical to their second builds; diffoscope shows where they are not.
# The first packages are then checked as a release: `sha256sum -c
# SHA256SUMS` and check-release-files.py (run with PYTHON). Prints every
# fault found; exit status 1 if any.
set -u

if [ $# -ne 10 ]; then
  echo "usage: $0 CMAKE CPACK SOURCE_DIR BUILD_DIR WORK_DIR GENERATOR BUILD_TYPE TOOLCHAIN TOOL PYTHON" >&2
  exit 2
fi
cmake=$1
cpack=$2
source_dir=$3
build_dir=$4
work=$5
generator=$6
build_type=$7
toolchain=$8
tool=$9
python=${10}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package-lib.sh"

rm -rf "$work"
mkdir -p "$work/first"
first=$work/first
second=$work/second/a/different/depth
copy=$second/source
build2=$second/build
mkdir -p "$copy" "$second/packages"

if ! "$cpack" --config "$build_dir/CPackConfig.cmake" -G "$generator" -B "$first" >"$work/first.log" 2>&1; then
  cat "$work/first.log"
  echo "FAULT: cpack -G $generator of $build_dir failed"
  exit 1
fi
rm -rf "$first/_CPack_Packages"

# The sources as they are checked out, without build folders. The copy
# reaches the same git history, where the package time comes from.
if git -C "$source_dir" rev-parse --absolute-git-dir >/dev/null 2>&1; then
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --no-recursion) |
    tar -xf - -C "$copy" || fault "copying the sources failed"
  echo "gitdir: $(git -C "$source_dir" rev-parse --absolute-git-dir)" >"$copy/.git"
else
  (cd "$source_dir" && tar -cf - --exclude='./build*' .) | tar -xf - -C "$copy" || fault "copying the sources failed"
fi

# Whatever the first build ran under, the second runs under something else.
case ${LC_ALL:-${LANG:-}} in
  C.UTF-8 | C.utf8) locale=POSIX ;;
  *) locale=C.UTF-8 ;;
esac
case ${TZ:-} in
  Pacific/Kiritimati) zone=America/Adak ;;
  *) zone=Pacific/Kiritimati ;;
esac
toolchain_option=
[ "$toolchain" = - ] || toolchain_option=-DCMAKE_TOOLCHAIN_FILE=$copy/cmake/$toolchain
firmware_dir=$(sed -n 's/^FIRMWARE_DIR:PATH=//p' "$build_dir/CMakeCache.txt")
echo "second build: $build2, umask 077, LC_ALL=$locale, TZ=$zone"
if ! (
  umask 077
  export LC_ALL=$locale LANG=$locale TZ=$zone
  "$cmake" -S "$copy" -B "$build2" -DCMAKE_BUILD_TYPE="$build_type" $toolchain_option \
    -DFIRMWARE_DIR="$firmware_dir" -DRAVELIN_TESTS=OFF -DRAVELIN_BENCH=OFF &&
    "$cmake" --build "$build2" -j 2 &&
    "$cpack" --config "$build2/CPackConfig.cmake" -G "$generator" -B "$second/packages"
) >"$work/second.log" 2>&1; then
  tail -n 40 "$work/second.log"
  echo "FAULT: the second build failed (log: $work/second.log)"
  exit 1
fi

# same FIRST SECOND: the two builds of one file are identical.
same() {
  if cmp -s "$1" "$2"; then
    echo "identical: ${1##*/} ($(wc -c <"$1") bytes)"
  else
    fault "${1##*/} differs between the two builds:"
    diffoscope --text - --max-text-report-size 200000 "$1" "$2" 2>&1 | head -n 200
  fi
}
same "$build_dir/$tool" "$build2/$tool"
for file in "$first"/*; do
  if [ -f "$second/packages/${file##*/}" ]; then
    same "$file" "$second/packages/${file##*/}"
  else
    fault "the second build made no ${file##*/}"
  fi
done

(cd "$first" && sha256sum -c SHA256SUMS) || fault "sha256sum -c SHA256SUMS fails"
"$python" "$here/check-release-files.py" "$first" "$build_dir/firmware" || fault "the release files are wrong"

[ $faults -eq 0 ] && echo "two builds, two folders, two times: the same bytes"
[ $faults -eq 0 ]
