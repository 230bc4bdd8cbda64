#!/usr/bin/env bash
# Puts Debian's own kernel for the guest in CACHE, unpacked, not installed:
# CACHE/vmlinuz and CACHE/modules/*.ko (the xHCI host controller and the USB
# serial drivers; the 16550 driver is built into the kernel). Fetched once:
# a cache that holds both is used as it is.
#
#   guest-kernel.sh CACHE
#
# The package of linux-image-amd64 is taken, not linux-image-cloud-amd64,
# whose kernel has no USB.
set -euo pipefail
cache=$1
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)

have_all() {
  [ -s "$cache/vmlinuz" ] || return 1
  local m
  for m in "${modules[@]}"; do [ -s "$cache/modules/$m.ko" ] || return 1; done
}
have_all && exit 0

mkdir -p "$cache"
work=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The meta package names the versioned one.
named_kernel() { apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1; }
package=$(named_kernel)
# A machine whose package lists were never fetched, or were cleaned.
if [ -z "$package" ] && [ "$EUID" -eq 0 ]; then
  apt-get update -q >/dev/null
  package=$(named_kernel)
fi
if [ -z "$package" ]; then
  echo "guest-kernel: apt-cache names no kernel for linux-image-amd64 (apt-get update first)" >&2
  exit 1
fi
download() { (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1); }
# Lists older than the mirror name a version it no longer holds: fetched
# again, once, where the test may.
if ! download && [ "$EUID" -eq 0 ]; then
  apt-get update -q >/dev/null
  package=$(named_kernel)
fi
download || (cd "$work" && apt-get download "$package")
dpkg-deb -x "$work"/*.deb "$work/root"
cp "$work"/root/boot/vmlinuz-* "$work/vmlinuz"
mkdir -p "$work/modules"
for m in "${modules[@]}"; do
  found=$(find "$work/root/lib/modules" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
  [ -n "$found" ] || { echo "guest-kernel: $package has no $m module" >&2; exit 1; }
  case "$found" in
    *.xz) xz -dc "$found" >"$work/modules/$m.ko" ;;
    *) cp "$found" "$work/modules/$m.ko" ;;
  esac
done
rm -rf "$cache/modules"
mv "$work/modules" "$cache/modules"
mv "$work/vmlinuz" "$cache/vmlinuz"
echo "$package" >"$cache/package"
