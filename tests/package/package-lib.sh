# Sourced by the package checks: fault counting, and the package itself,
# made with CPack in an emptied work folder.

faults=0
fault() {
  echo "FAULT: $*"
  faults=$((faults + 1))
}

# make_package CPACK CPACK_CONFIG WORK_DIR GENERATOR EXTENSION
# Sets `package` to the one .EXTENSION file that CPack made in WORK_DIR;
# ends the check (status 1) when there is not exactly one.
make_package() {
  _work=$3
  _generator=$4
  rm -rf "$_work"
  mkdir -p "$_work"
  if ! "$1" --config "$2" -G "$_generator" -B "$_work" >"$_work/cpack.log" 2>&1; then
    cat "$_work/cpack.log"
    echo "FAULT: cpack -G $_generator failed"
    exit 1
  fi
  set -- "$_work"/*."$5"
  if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "FAULT: expected one .${5} in $_work, found: $*"
    exit 1
  fi
  package=$1
}
