#!/bin/sh
# Usage: check-install-deps.sh INSTALL_DEPS
#
# Runs a copy of INSTALL_DEPS (scripts/install-deps) with nothing in PATH but
# stand-ins, as a user who is not root (nobody, when this runs as root): a
# `dpkg-query` that reports every package installed except the ones a case
# names missing, a `wine` of each kind (one whose 32-bit loader the kernel
# refuses: "Exec format error", status 126; one that runs; none), and an
# `apt-get`, `dpkg` and `sudo` that only log their calls. Checks what
# `--print` lists for each kind of machine (wine64 only where Wine refuses),
# that neither `--print` nor a run with nothing missing calls any of them,
# that a user who is not root is told in one line what is missing, and, when
# this runs as root, which packages a real run hands to apt-get, on a new
# machine too, where Wine comes with the base set and only then shows that
# it refuses. Prints every fault found; exit status 1 if any.
set -u

if [ $# -ne 1 ]; then
  echo "usage: $0 INSTALL_DEPS" >&2
  exit 2
fi
faults=0
fault() {
  echo "FAULT: $*"
  faults=$((faults + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/ravelin-install-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# A copy that nobody may run, wherever the source tree is.
cp "$1" "$work/install-deps"
chmod 755 "$work/install-deps"

if [ "$(id -u)" -eq 0 ]; then
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
else
  as_user() { "$@"; }
fi

# make_bin DIR WINE_KIND: the stand-ins, and links to the few real tools that
# the script and the stand-ins run. The calls are logged in $work/calls,
# which nobody may write.
: >"$work/calls"
chmod 666 "$work/calls"
make_bin() {
  mkdir -p "$1"
  for tool in bash grep sleep; do
    ln -s "$(command -v $tool)" "$1/$tool"
  done
  cat >"$1/dpkg-query" <<EOF
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE
for package; do :; done
if [ -f "$work/nothing-installed" ] || grep -qxF -- "\$package" "$work/missing"; then
  echo "dpkg-query: no packages found matching \$package" >&2
  exit 1
fi
printf 'install ok installed'
EOF
  for tool in apt-get dpkg sudo; do
    cat >"$1/$tool" <<EOF
#!/bin/sh
echo "$tool \$*" >>"$work/calls"
[ "\$1" != --print-foreign-architectures ] || echo i386
EOF
  done
  # A mirror in the middle of a sync: every update fails, and so does an
  # install that does not keep to the release's own suite.
  cat >>"$1/apt-get" <<EOF
if [ -f "$work/mirror-syncing" ]; then
  case " \$* " in
    *" APT::Default-Release="*) ;;
    *" update "*|*" install "*) exit 100 ;;
  esac
fi
EOF
  # Installing wine puts $work/wine-to-install in place, if there is one.
  cat >>"$1/apt-get" <<EOF
case " \$* " in
  *" wine "*) [ ! -f "$work/wine-to-install" ] || $(command -v cp) -p "$work/wine-to-install" "$1/wine" ;;
esac
EOF
  case $2 in
    refuses)
      cat >"$1/wine" <<EOF
#!/bin/sh
echo "wine \$*" >>"$work/calls"
echo "/usr/bin/wine: 52: exec: /usr/lib/wine/wine: Exec format error" >&2
exit 126
EOF
      ;;
    runs)
      cat >"$1/wine" <<EOF
#!/bin/sh
echo "wine \$*" >>"$work/calls"
echo "wine-8.0 (Debian 8.0~repack-4)"
EOF
      ;;
  esac
  for tool in dpkg-query apt-get dpkg sudo wine; do
    [ ! -f "$1/$tool" ] || chmod 755 "$1/$tool"
  done
}
for kind in refuses runs absent; do
  make_bin "$work/bin-$kind" $kind
done

# run KIND MISSING ARG...: runs the copy as the user, on a machine with Wine
# of KIND and the packages MISSING ("all", or names separated by spaces);
# sets `output` (standard output), `errors` (standard error), `status` and
# `calls` (the logged calls other than `wine --version`).
run() {
  _kind=$1
  rm -f "$work/nothing-installed"
  if [ "$2" = all ]; then
    : >"$work/nothing-installed"
    : >"$work/missing"
  else
    printf '%s\n' $2 >"$work/missing"
  fi
  shift 2
  : >"$work/calls"
  output=$(as_user env -i PATH="$work/bin-$_kind" INSTALL_DEPS_RETRY_SECONDS=0 "$work/install-deps" "$@" 2>"$work/errors")
  status=$?
  errors=$(cat "$work/errors")
  calls=$(grep -vx 'wine --version' "$work/calls")
}

# expect_list WHAT EXPECTED: the printed packages, in any order, are EXPECTED.
expect_list() {
  [ $status -eq 0 ] || fault "$1: exit status $status ($errors)"
  got=$(echo "$output" | sort)
  want=$(printf '%s\n' $2 | sort)
  [ "$got" = "$want" ] || fault "$1: listed
$got
not
$want"
  [ -z "$calls" ] || fault "$1: called $calls"
}

some_missing="g++-mingw-w64-x86-64-posix lintian wine64"
run refuses "$some_missing" --print
expect_list "--print where Wine refuses 32-bit programs" "g++-mingw-w64-x86-64-posix lintian wine64"
run runs "$some_missing" --print
expect_list "--print where Wine runs" "g++-mingw-w64-x86-64-posix lintian"
run refuses "" --print
expect_list "--print with everything installed" ""

run absent all --print
[ $status -eq 0 ] || fault "--print on a bare machine: exit status $status ($errors)"
[ -z "$calls" ] || fault "--print on a bare machine: called $calls"
for package in cmake g++ libgtest-dev clang g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine32:i386 \
  dpkg-dev unzip python3-pefile python3-jsonschema lintian help2man man-db osslsigncode openssl diffoscope \
  qemu-system-x86 busybox-static udev ansible-core ansible ansible-lint python3-pytest openssh-server openssh-client \
  yamllint python3-voluptuous pycodestyle pylint; do
  echo "$output" | grep -qxF -- "$package" || fault "--print on a bare machine does not list $package"
done
echo "$output" | grep -qx wine64 && fault "--print on a bare machine lists wine64 before Wine can be tried"
echo "$output" | grep -q '^#.*wine64' || fault "--print on a bare machine does not say when wine64 is needed"
echo "--print on a bare machine: $(echo "$output" | grep -vc '^#') packages"

run refuses "" --print extra
[ $status -eq 2 ] && [ -z "$calls" ] || fault "an extra argument: exit status $status, called '$calls'"
run refuses "" --dry-run
[ $status -eq 2 ] && [ -z "$calls" ] || fault "an unknown option: exit status $status, called '$calls'"

run refuses ""
[ $status -eq 0 ] && [ -z "$output$errors$calls" ] ||
  fault "a run with everything installed: exit status $status, printed '$output$errors', called '$calls'"

if [ "$(id -u)" -eq 0 ]; then
  as_user() { "$@"; }
  run refuses "lintian wine64"
  [ $status -eq 0 ] || fault "a run as root: exit status $status ($errors)"
  echo "$calls" | grep -qx 'apt-get install -y -q --no-install-recommends lintian wine64' ||
    fault "a run as root where Wine refuses did not install lintian and wine64: calls
$calls"
  run runs "lintian wine64"
  echo "$calls" | grep -qx 'apt-get install -y -q --no-install-recommends lintian' ||
    fault "a run as root where Wine runs did not install lintian alone: calls
$calls"
  # A new machine: no Wine until the base set brings it, and that one refuses.
  make_bin "$work/bin-new" absent
  cp "$work/bin-refuses/wine" "$work/wine-to-install"
  run new all
  rm "$work/wine-to-install"
  installs=$(echo "$calls" | grep '^apt-get install')
  { [ "$(echo "$installs" | wc -l)" -eq 2 ] && echo "$installs" | head -n 1 | grep -q ' wine ' &&
    [ "$(echo "$installs" | tail -n 1)" = 'apt-get install -y -q --no-install-recommends wine64' ]; } ||
    fault "a run as root on a new machine, whose Wine refuses once installed, did not install the base set and then wine64: calls
$calls"
  # A mirror whose indexes do not come: three updates, then the install
  # from the release itself.
  : >"$work/mirror-syncing"
  run runs "lintian"
  rm "$work/mirror-syncing"
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  { [ $status -eq 0 ] && [ "$(echo "$calls" | grep -c '^apt-get update')" -eq 3 ] &&
    echo "$calls" | grep -qx "apt-get install -y -q --no-install-recommends -o APT::Default-Release=$release lintian"; } ||
    fault "a run as root whose apt-get update fails did not try three times and then install from $release: status $status, calls
$calls"
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
fi

run refuses "lintian wine64"
[ $status -ne 0 ] || fault "a run that is not root, with packages missing, succeeded"
[ -z "$calls" ] || fault "a run that is not root called $calls"
[ "$(echo "$errors" | wc -l)" -eq 1 ] && echo "$errors" | grep -q 'lintian wine64.*root' ||
  fault "a run that is not root said '$errors', not one line naming lintian, wine64 and root"

[ $faults -eq 0 ] && echo "install-deps: the lists for each kind of Wine, no root needed, nothing installed"
[ $faults -eq 0 ]
