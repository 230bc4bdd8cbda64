#!/bin/sh
# Usage: check-deb.sh CPACK CPACK_CONFIG WORK_DIR VERSION README
#
# Makes the build's Debian package with CPack in WORK_DIR (emptied first) and
# checks it from the file itself, without installing it: its control fields
# (dpkg-deb -f), that it holds the tool and README, identical to the source
# one, and nothing else (dpkg-deb -c), and that the tool taken out of it
# (dpkg-deb -x) runs `--version` and names VERSION. Prints every fault found;
# exit status 1 if any.
set -u

if [ $# -ne 5 ]; then
  echo "usage: $0 CPACK CPACK_CONFIG WORK_DIR VERSION README" >&2
  exit 2
fi
cpack=$1
config=$2
work=$3
version=$4
readme=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package-lib.sh"

make_package "$cpack" "$config" "$work" DEB deb
deb=$package
echo "package: ${deb##*/}"

field() {
  dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = ravelinfwupgrade ] || fault "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fault "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fault "Architecture is '$(field Architecture)'"
field Maintainer | grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' || fault "Maintainer '$(field Maintainer)' is not 'Name <e-mail>'"
# The shared-library scan names at least the C library, with a lowest version.
field Depends | grep -Eq '(^|, )libc6 \(>= [^)]+\)' || fault "Depends '$(field Depends)' lacks libc6 from the shared-library scan"
description=$(field Description)
[ "$(echo "$description" | wc -l)" -ge 2 ] && [ -n "$(echo "$description" | head -n 1)" ] ||
  fault "Description is not a summary line and a longer text: '$description'"
echo "depends: $(field Depends)"

# Regular files only: the folders that lead to them come with them.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
expected_files="-rw-r--r-- root/root ./usr/share/doc/ravelinfwupgrade/README.md
-rwxr-xr-x root/root ./usr/bin/RavelinFwUpgrade"
[ "$files" = "$(echo "$expected_files" | sort)" ] || fault "contents are
$files
not
$expected_files"

root=$work/root
no_ports=$work/no-ports
mkdir -p "$no_ports"
if dpkg-deb -x "$deb" "$root"; then
  cmp -s "$root/usr/share/doc/ravelinfwupgrade/README.md" "$readme" || fault "the packed README.md differs from $readme"
  # An empty COM folder: should the tool ever start an update here, it
  # reaches no port, least of all the machine's own.
  output=$(RAVELIN_COM_DIR=$no_ports timeout 60 "$root/usr/bin/RavelinFwUpgrade" --version </dev/null 2>&1)
  status=$?
  [ $status -eq 0 ] || fault "the packed tool's --version exited with status $status"
  case $output in
    *"$version"*) ;;
    *) fault "the packed tool's --version does not name $version" ;;
  esac
  echo "--version (status $status):"
  echo "$output" | head -n 5
else
  fault "dpkg-deb -x failed"
fi

[ $faults -eq 0 ] && echo "${deb##*/}: fields, contents and the packed tool are right"
[ $faults -eq 0 ]
