#!/bin/sh
# Usage: check-windows-exe.sh OBJDUMP FORMAT EXE IMAGE_FILE...
#
# Checks that EXE is what operators can run on a bare Windows machine: a
# console program in FORMAT (pei-i386, the PE32 exe that operators get, or
# pei-x86-64, PE32+, built for tests) that imports nothing but Windows' own DLLs
# (no libstdc++, libgcc or libwinpthread beside it), that has a resource
# section with a version resource and an application manifest (what they say
# is checked in tests/package), and that it carries each IMAGE_FILE byte for
# byte. Prints every fault found; exit status 1 if any.
set -u

if [ $# -lt 4 ]; then
  echo "usage: $0 OBJDUMP FORMAT EXE IMAGE_FILE..." >&2
  exit 2
fi
objdump=$1
format=$2
exe=$3
shift 3
case $format in
  pei-i386) magic=010b ;;
  pei-x86-64) magic=020b ;;
  *)
    echo "usage: $0: FORMAT is pei-i386 or pei-x86-64, not $format" >&2
    exit 2
    ;;
esac
faults=0
fault() {
  echo "FAULT: $*"
  faults=$((faults + 1))
}

if [ ! -f "$exe" ]; then
  echo "FAULT: no file $exe"
  exit 1
fi
headers=$("$objdump" -p "$exe" 2>&1) || {
  echo "FAULT: $objdump cannot read $exe: $headers"
  exit 1
}

echo "$headers" | grep -q "file format $format\$" || fault "not a $format file"
echo "$headers" | grep -Eq "^Magic[[:space:]]+$magic" || fault "optional header magic is not $magic"
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000003' || fault "not a console program (subsystem is not 3, Windows CUI)"

dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r')
[ -n "$dlls" ] || fault "no DLL imports found: is this an objdump for PE files?"
for dll in $dlls; do
  case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ntdll.dll | setupapi.dll) ;;
    *) fault "imports $dll, which a bare Windows machine does not have" ;;
  esac
done
echo "imports: $(echo $dlls)"

# Resource types sit at the first level of objdump's dump of the resource
# directory: 0x10 is RT_VERSION, 0x18 RT_MANIFEST.
resource_types=$(echo "$headers" | sed -n 's/^[0-9a-f]*   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p')
for type in 10:version 18:manifest; do
  echo "$resource_types" | grep -qx "${type%%:*}" || fault "no ${type#*:} resource"
done

# Each image sits in the exe as one run of bytes; look for it behind every
# place where its first line occurs.
for image in "$@"; do
  if [ ! -s "$image" ]; then
    fault "no image file $image"
    continue
  fi
  size=$(wc -c <"$image")
  first_line=$(head -n 1 "$image" | tr -d '\r')
  found=no
  for offset in $(grep -obaF -- "$first_line" "$exe" | cut -d: -f1); do
    if cmp -s -n "$size" -i "$offset:0" "$exe" "$image"; then
      found=yes
      break
    fi
  done
  if [ $found = yes ]; then
    echo "embedded: ${image##*/} ($size bytes)"
  else
    fault "${image##*/} ($size bytes) is not embedded whole"
  fi
done

[ $faults -eq 0 ] && echo "$exe: $format console program, static, with manifest and version, images embedded"
[ $faults -eq 0 ]
