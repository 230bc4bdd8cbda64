#!/bin/sh
# Usage: check-deb.sh CPACK CPACK_CONFIG WORK_DIR VERSION README
#
# Makes the build's Debian package with CPack in WORK_DIR (emptied first) and
# checks it from the file itself, without installing it: its control fields
# (dpkg-deb -f); that it holds the tool, the README (identical to the source
# one), the copyright file, the changelog and the manual page, and nothing
# else (dpkg-deb -c); that lintian finds no error and no warning in it; and,
# taken out of it (dpkg-deb -x), that the changelog's latest entry is for
# VERSION, that `man -l` renders the page with its NAME and a SYNOPSIS of
# every form of the command, and that the tool runs `--version` and names
# VERSION. Prints every fault found; exit status 1 if any.
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
-rw-r--r-- root/root ./usr/share/doc/ravelinfwupgrade/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/ravelinfwupgrade/copyright
-rw-r--r-- root/root ./usr/share/man/man1/RavelinFwUpgrade.1.gz
-rwxr-xr-x root/root ./usr/bin/RavelinFwUpgrade"
[ "$files" = "$(echo "$expected_files" | sort)" ] || fault "contents are
$files
not
$expected_files"

if command -v lintian >/dev/null; then
  lintian_output=$(lintian --fail-on error,warning "$deb" 2>&1)
  lintian_status=$?
  [ -n "$(echo "$lintian_output" | grep -v "running with root privileges")" ] || echo "lintian: no errors, no warnings"
  echo "$lintian_output" | grep -v 'running with root privileges' | sed 's/^/lintian: /'
  [ $lintian_status -eq 0 ] && ! echo "$lintian_output" | grep -Eq '^[EW]: ' ||
    fault "lintian reports errors or warnings (status $lintian_status)"
else
  fault "no lintian (apt-get install lintian)"
fi

root=$work/root
no_ports=$work/no-ports
mkdir -p "$no_ports"
if dpkg-deb -x "$deb" "$root"; then
  cmp -s "$root/usr/share/doc/ravelinfwupgrade/README.md" "$readme" || fault "the packed README.md differs from $readme"
  latest=$(zcat "$root/usr/share/doc/ravelinfwupgrade/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
  [ "$latest" = "$version" ] || fault "the changelog's latest entry is for '$latest', not $version"

  # The page as `man RavelinFwUpgrade` shows it once installed; a section
  # runs from its heading at the margin to the next one.
  page=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/RavelinFwUpgrade.1.gz" 2>&1)
  section() {
    echo "$page" | awk -v name="$1" '/^[A-Z]/ { inside = ($0 == name); next } inside'
  }
  section NAME | grep -Eq '^ +RavelinFwUpgrade +- [a-z]' ||
    fault "the manual page has no NAME line 'RavelinFwUpgrade - what it is':
$page"
  synopsis=$(section SYNOPSIS)
  for form in "RavelinFwUpgrade [--port" "RavelinFwUpgrade --all" "RavelinFwUpgrade --web-package" \
    "RavelinFwUpgrade --list-ports"; do
    echo "$synopsis" | grep -qF -- "$form" || fault "the manual page's SYNOPSIS lacks '$form ...':
$synopsis"
  done
  echo "$synopsis" | grep -q / && fault "the manual page's SYNOPSIS names a path:
$synopsis"
  echo "man -l: $(echo "$page" | head -n 1 | tr -s ' '), $(echo "$page" | wc -l) lines"
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
