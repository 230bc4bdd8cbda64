#!/bin/sh
# Usage: check-zip.sh CPACK CPACK_CONFIG WORK_DIR VERSION PACKAGE_NAME PYTHON
#
# Makes the build's Windows zip with CPack in WORK_DIR (emptied first) and
# checks it from the file itself: that it is PACKAGE_NAME.zip
# (RavelinFwUpgrade-VERSION-win32 from the 32-bit build, -win64 from the
# 64-bit one) and holds, in the folder PACKAGE_NAME,
# RavelinFwUpgrade.exe and README.txt and nothing else; that README.txt has
# CR LF line ends throughout and names VERSION; that the exe taken out of it
# carries its manifest and version resource (check-exe-resources.py, run with
# PYTHON, which has pefile); and that the exe runs `--version` under Wine and
# names VERSION.
#
# The Wine run needs WINEPREFIX, a prefix without COM links (scripts/wine-env
# makes one). Without it that part is skipped (exit status 77 when all else
# passed), unless RAVELIN_WINE_REQUIRED=1 makes it a fault. Prints every
# fault found; exit status 1 if any.
set -u

if [ $# -ne 6 ]; then
  echo "usage: $0 CPACK CPACK_CONFIG WORK_DIR VERSION PACKAGE_NAME PYTHON" >&2
  exit 2
fi
cpack=$1
config=$2
work=$3
version=$4
folder=$5
python=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package-lib.sh"

make_package "$cpack" "$config" "$work" ZIP zip
zip=$package
case $folder in
  RavelinFwUpgrade-"$version"-win32 | RavelinFwUpgrade-"$version"-win64) ;;
  *) fault "the expected name $folder is not RavelinFwUpgrade-$version-win32 or -win64" ;;
esac
[ "${zip##*/}" = "$folder.zip" ] || fault "the zip is named ${zip##*/}, not $folder.zip"

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected_files="$folder/README.txt
$folder/RavelinFwUpgrade.exe"
[ "$files" = "$expected_files" ] || fault "contents are
$files
not
$expected_files"

unpacked=$work/unpacked
if ! unzip -q "$zip" -d "$unpacked"; then
  echo "FAULT: unzip failed"
  exit 1
fi
readme=$unpacked/$folder/README.txt
exe=$unpacked/$folder/RavelinFwUpgrade.exe

if [ -s "$readme" ]; then
  # Every line, the last one too, ends in CR LF, and no CR stands alone.
  lf_count=$(tr -cd '\n' <"$readme" | wc -c)
  cr_count=$(tr -cd '\r' <"$readme" | wc -c)
  lines_without_cr=$(awk '!/\r$/ { n++ } END { print n + 0 }' "$readme")
  [ "$lf_count" -gt 0 ] && [ "$lines_without_cr" -eq 0 ] && [ "$cr_count" -eq "$lf_count" ] ||
    fault "README.txt line ends: $lf_count LF, $cr_count CR, $lines_without_cr lines without CR"
  [ "$(tail -c 2 "$readme" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fault "README.txt does not end with CR LF"
  grep -qF "$version" "$readme" || fault "README.txt does not name version $version"
  echo "README.txt: $lf_count lines, all CR LF"
else
  fault "no README.txt in the zip"
fi

"$python" "$here/check-exe-resources.py" "$exe" "$version" || fault "the packed exe's resources are wrong"

wine_skipped=no
if [ -z "${WINEPREFIX:-}" ]; then
  if [ "${RAVELIN_WINE_REQUIRED:-}" = 1 ]; then
    fault "WINEPREFIX is not set (run under scripts/wine-env)"
  else
    echo "SKIPPED: the packed exe under Wine: no WINEPREFIX (run under scripts/wine-env)"
    wine_skipped=yes
  fi
elif ls "$WINEPREFIX"/dosdevices/com* >/dev/null 2>&1; then
  fault "the Wine prefix has COM links, which the exe could reach"
else
  output=$(timeout 120 wine "$exe" --version </dev/null 2>&1)
  status=$?
  [ $status -eq 0 ] || fault "the packed exe's --version exited with status $status under Wine"
  case $output in
    *"$version"*) ;;
    *) fault "the packed exe's --version does not name $version" ;;
  esac
  echo "--version under Wine (status $status):"
  echo "$output" | head -n 5
fi

[ $faults -eq 0 ] || exit 1
[ $wine_skipped = no ] || exit 77
echo "${zip##*/}: contents, README.txt, resources and the packed exe under Wine are right"
