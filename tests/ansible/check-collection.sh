#!/bin/bash
# Usage: check-collection.sh COLLECTION_DIR
#
# The collection as its users get it, with Debian's ansible-core and nothing
# from the network: built with `ansible-galaxy collection build`, installed
# from the tarball into a folder of its own, its modules' documentation
# rendered by `ansible-doc`, the rack playbook checked by `ansible-lint`
# (where the playbook is there), and `ansible-test sanity`, each of its
# tests on its own so that the summary says which ran. Prints every fault;
# exit status 1 if any.
set -u

if [ $# -ne 1 ] || [ ! -f "$1/galaxy.yml" ]; then
  echo "usage: $0 COLLECTION_DIR (the folder of galaxy.yml)" >&2
  exit 2
fi
src=$(cd "$1" && pwd)
faults=0
fault() {
  echo "FAULT: $*"
  faults=$((faults + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/ravelin-collection.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Debian's tools and Debian's Python, whatever else comes first in PATH; and
# a home of their own, for the caches and the virtual environments they make.
export PATH=/usr/bin:/bin:/usr/sbin:/sbin
export HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
mkdir -p "$HOME"
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')

# run LABEL COMMAND...: runs the command with a time limit; its output is
# in $work/out, and printed when it fails.
run() {
  label=$1
  shift
  timeout 120 "$@" >"$work/out" 2>&1
  status=$?
  [ $status -eq 0 ] || { fault "$label: exit status $status"; sed 's/^/    /' "$work/out" | tail -n 30; }
  return $status
}

run "ansible-galaxy collection build" ansible-galaxy collection build --output-path "$work/dist" "$src"
tarball=$(ls "$work"/dist/ravelin-fwupgrade-*.tar.gz 2>/dev/null | head -n 1)
[ -n "$tarball" ] || { fault "no tarball built"; exit 1; }
for member in galaxy.yml README.md LICENSE meta/runtime.yml plugins/modules/units.py plugins/modules/units_info.py \
  plugins/module_utils/fwupgrade.py plugins/doc_fragments/tool_run.py; do
  [ "$member" = galaxy.yml ] && member=MANIFEST.json
  tar -tzf "$tarball" | grep -qxF "$member" || fault "the tarball has no $member"
done
echo "built $(basename "$tarball"): $(tar -tzf "$tarball" | grep -vc '/$') files"

run "ansible-galaxy collection install" \
  ansible-galaxy collection install --offline -p "$work/collections" "$tarball"
# With its slash: Debian's ansible-lint resolves the collection's modules
# only from a path that ends in one.
export ANSIBLE_COLLECTIONS_PATH=$work/collections/
[ -f "$work/collections/ansible_collections/ravelin/fwupgrade/plugins/modules/units.py" ] ||
  fault "the install put no units module in $work/collections"

# The documentation renders, whole: every option of each module is in it.
for module in units:"ports allow_reinstall allow_older retries log_dir report tool" \
  units_info:"ports log_dir report tool"; do
  name=ravelin.fwupgrade.${module%%:*}
  run "ansible-doc $name" ansible-doc "$name" || continue
  for option in ${module#*:}; do
    grep -q "^[-=] $option\$" "$work/out" || fault "ansible-doc $name shows no option $option"
  done
  for part in EXAMPLES 'RETURN VALUES' 'ADDED IN: version 1.0.0 of ravelin.fwupgrade' 'check_mode'; do
    grep -q "$part" "$work/out" || fault "ansible-doc $name shows no $part"
  done
done
run "ansible-doc -l" ansible-doc -l ravelin.fwupgrade &&
  { [ "$(grep -c '^ravelin\.fwupgrade\.units\(_info\)\? ' "$work/out")" -eq 2 ] ||
    fault "ansible-doc -l does not list both modules: $(cat "$work/out")"; }
echo "ansible-doc: both modules render"

playbook=$src/playbooks/update-racks.yml
if [ -f "$playbook" ]; then
  # From the collection's folder, so that ansible-lint takes it for the
  # project; it must find the collection's modules, not only pass.
  if run "ansible-lint playbooks/update-racks.yml" \
    env -C "$src" ansible-lint --offline --nocolor playbooks/update-racks.yml; then
    if grep -q 'Unable to \(load\|resolve\)' "$work/out"; then
      fault "ansible-lint did not find the collection's modules: $(grep 'Unable to' "$work/out" | head -n 2)"
    else
      echo "ansible-lint: playbooks/update-racks.yml passes"
    fi
  fi
else
  echo "NOTE: no playbooks/update-racks.yml yet: ansible-lint not run"
fi

# ansible-test takes a collection only at ansible_collections/NS/NAME. It
# gives each of its tests with requirements a virtual environment of its
# own and pip-installs them there, which needs the network; offline, such a
# test is given, where ansible-test asks for it, an environment that sees
# Debian's packages (yamllint, pycodestyle, pylint, voluptuous, ...) and is
# marked as made.
tree=$work/ansible_collections/ravelin/fwupgrade
mkdir -p "$(dirname "$tree")"
cp -a "$src" "$tree"
rm -rf "$tree/tests/output" "$tree"/*.tar.gz
ran=()
skipped=()
sanity() { # TEST
  (cd "$tree" && timeout 150 ansible-test sanity --python "$python" --color no --test "$1") >"$work/out" 2>&1
}
for test in $(cd "$tree" && ansible-test sanity --list-tests 2>/dev/null); do
  sanity "$test"
  status=$?
  # A test may ask for more than one environment (import: one for the
  # modules, one for the other plugins), one at a time.
  for _ in 1 2 3; do
    venv=$(sed -n 's#^FATAL: Python [0-9.]* at "\(.*\)/bin/python" does not have pip available.*#\1#p' "$work/out")
    [ $status -ne 0 ] && [ -n "$venv" ] && [ "${venv#"$HOME"/}" != "$venv" ] || break
    /usr/bin/python3 -m venv --without-pip --system-site-packages "$venv" &&
      echo true >"$venv/meta.yaml.json" && echo '[]' >"$venv/meta.install.json" && touch "$venv/marker.txt"
    sanity "$test"
    status=$?
  done
  if [ $status -ne 0 ]; then
    fault "ansible-test sanity --test $test: exit status $status"
    grep -v 'locale' "$work/out" | sed 's/^/    /' | tail -n 20
  elif grep -q '^Skipping\|WARNING: Skipping' "$work/out"; then
    skipped+=("$test")
  else
    ran+=("$test")
  fi
done
echo "ansible-test sanity on Python $python, passed: ${ran[*]}"
[ ${#skipped[@]} -eq 0 ] || echo "ansible-test sanity, skipped by ansible-test: ${skipped[*]}"
for needed in compile validate-modules ansible-doc yamllint pep8 pylint import runtime-metadata; do
  printf '%s\n' "${ran[@]}" | grep -qx "$needed" || fault "ansible-test sanity did not run $needed"
done

[ $faults -eq 0 ] && echo "the collection builds, installs, renders and passes its checks"
[ $faults -eq 0 ]
