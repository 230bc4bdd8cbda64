#!/usr/bin/env bash
# Builds the guest's initramfs (an uncompressed newc cpio) from the native
# tool, the shared libraries it and udev load (found with ldd), busybox, the
# udev daemon with the rules that make /dev/serial/by-id, the USB serial
# modules, the guest's init and the script of cases it runs.
#
#   make-initramfs.sh OUT TOOL QUICKBOOT_TOOL MODULES_DIR INIT CASES
set -euo pipefail
out=$1 tool=$2 quickboot_tool=$3 modules=$4 init=$5 cases=$6

root=$(mktemp -d "${out}.root.XXXXXX")
trap 'rm -rf "$root"' EXIT

# A file at the same path inside the guest, with every library it loads.
with_libraries() {
  local file=$1 lib
  cp -L --parents "$file" "$root"
  for lib in $(ldd "$file" | grep -o '/[^ ]*' | sort -u); do
    [ -e "$root$lib" ] || cp -L --parents "$lib" "$root"
  done
}

udevd=$(readlink -f /lib/systemd/systemd-udevd)
for file in "$udevd" "$(command -v udevadm)"; do with_libraries "$file"; done
mkdir -p "$root/bin" "$root/usr/bin" "$root/lib/modules" "$root/lib/udev/rules.d" "$root/etc/udev" \
  "$root/proc" "$root/sys" "$root/dev" "$root/run" "$root/tmp"
with_libraries "$(command -v busybox)"
cp "$(command -v busybox)" "$root/bin/busybox"
cp /lib/udev/rules.d/60-serial.rules "$root/lib/udev/rules.d/"
ln -sf "$udevd" "$root/bin/systemd-udevd"
with_libraries "$tool"
# Without their debugging sections: most of the image, unpacked at every boot.
strip -o "$root/usr/bin/RavelinFwUpgrade" "$tool"
strip -o "$root/usr/bin/RavelinFwUpgrade-quickboot" "$quickboot_tool"
cp "$modules"/*.ko "$root/lib/modules/"
cp "$init" "$root/init"
cp "$cases" "$root/cases"
chmod 755 "$root/init" "$root/cases"

(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) >"$out.tmp"
mv "$out.tmp" "$out"
