#!/bin/sh
# Usage: check-deb.sh CPACK CPACK_CONFIG WORK_DIR VERSION README COLLECTION
#
# Makes the build's Debian package with CPack in WORK_DIR (emptied first) and
# checks it from the file itself, without installing it: its control fields
# (dpkg-deb -f); that it holds the tool, the README (identical to the source
# one), the copyright file, the changelog, the manual page and every file of
# the Ansible collection in COLLECTION (the source folder, less what its
# builds and tests leave there), none of them executable, where
# ansible-core looks by default, with lintian's override for the modules'
# first line, and nothing else (dpkg-deb -c); that
# lintian finds no error and no warning in it; and, taken out of it
# (dpkg-deb -x), that the changelog's latest entry is for VERSION, that
# `man -l` renders the page with its NAME and a SYNOPSIS of every form of
# the command, that the tool runs `--version` and names VERSION, and that
# ansible-doc finds both modules in the collection as packed. Prints every
# fault found; exit status 1 if any.
set -u

if [ $# -ne 6 ]; then
  echo "usage: $0 CPACK CPACK_CONFIG WORK_DIR VERSION README COLLECTION" >&2
  exit 2
fi
cpack=$1
config=$2
work=$3
version=$4
readme=$5
collection=$6
collections_dir=/usr/share/ansible/collections
collection_dir=$collections_dir/ansible_collections/ravelin/fwupgrade
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
[ "$(field Suggests)" = ansible-core ] || fault "Suggests is '$(field Suggests)', not ansible-core"
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
-rw-r--r-- root/root ./usr/share/lintian/overrides/ravelinfwupgrade
-rwxr-xr-x root/root ./usr/bin/RavelinFwUpgrade
$(cd "$collection" && find . -type d \( -name __pycache__ -o -name tests \) -prune -o \
  -type f ! -name .gitignore ! -name '*.pyc' ! -name '*.tar.gz' -print |
  sed "s#^\./#-rw-r--r-- root/root .$collection_dir/#")"
echo "$expected_files" | grep -q "$collection_dir/plugins/modules/units.py\$" ||
  fault "no plugins/modules/units.py in the collection $collection"
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

  # The collection where the package puts it is one that ansible-core
  # reads without a setting: its default path has the folder, and its
  # modules' documentation loads from there.
  if command -v ansible-doc >/dev/null; then
    defaults=$(env -u ANSIBLE_COLLECTIONS_PATH -u ANSIBLE_COLLECTIONS_PATHS -u ANSIBLE_CONFIG \
      ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" ansible-config dump 2>&1 | grep '^COLLECTIONS_PATHS')
    case $defaults in
      *"$collections_dir"*) ;;
      *) fault "ansible-core's default collections path does not have $collections_dir: $defaults" ;;
    esac
    for module in units units_info; do
      ANSIBLE_COLLECTIONS_PATH="$root$collections_dir" ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" \
        ansible-doc "ravelin.fwupgrade.$module" >"$work/ansible-doc.out" 2>&1 ||
        fault "ansible-doc finds no ravelin.fwupgrade.$module in the packed collection: $(tail -n 5 "$work/ansible-doc.out")"
    done
    echo "ansible-doc: ravelin.fwupgrade.units and units_info from $collection_dir"
  else
    fault "no ansible-doc (apt-get install ansible-core)"
  fi
else
  fault "dpkg-deb -x failed"
fi

[ $faults -eq 0 ] && echo "${deb##*/}: fields, contents and the packed tool are right"
[ $faults -eq 0 ]
