#!/bin/sh
# Usage: RAVELIN_MANPAGE_TOOL=TOOL manpage-help.sh --help|--version
#
# What help2man runs in place of the tool, so that it reads the tool's usage
# as a synopsis: the usage forms one a line, the first after "Usage:" and the
# others after "or:" (the tool indents them under "Usage:" and wraps the
# long one). Of --version, the first line alone: help2man takes the name and
# version from it, and would run the carried versions below it into one line.
set -e
if [ "${1:-}" = --version ]; then
  "$RAVELIN_MANPAGE_TOOL" --version | sed -n 1p
  exit
fi
"$RAVELIN_MANPAGE_TOOL" "$@" | awk '
  NR == 1 && /^Usage:/ { usage = 1; held = $0; next }
  usage && /^$/ { usage = 0; print held }
  usage && /^ +\[/ { sub(/^ +/, " "); held = held $0; next }
  usage { print held; sub(/^ +/, "  or: "); held = $0; next }
  { print }
  END { if (usage) print held }'
