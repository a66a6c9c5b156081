#!/usr/bin/env bash
# The core stays free of Qt: no file under CORE_DIR includes a Qt header, and
# PROGRAM (the core's test program) needs no Qt library.
# Usage: check_without_qt.sh CORE_DIR PROGRAM
set -euo pipefail
core=$1
program=$2
status=0

# Qt's headers: <QString>, <QtCore/...>, <qglobal.h> and the like.
if hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]|[Qq]t[A-Za-z]*/|q[a-z]+\.h)' \
          "$core" --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc'); then
  echo "the core includes Qt headers:"
  echo "$hits"
  status=1
fi

if [ ! -x "$program" ]; then
  echo "no program at $program"
  exit 1
fi
# Every library it needs, directly or not.
if libs=$(ldd "$program" | grep -iE 'libQt|qt6|qt5'); then
  echo "$program links Qt:"
  echo "$libs"
  status=1
fi
if needed=$(objdump -p "$program" | grep -E 'NEEDED.*(Qt|qt)'); then
  echo "$program names Qt libraries:"
  echo "$needed"
  status=1
fi
[ $status -eq 0 ] && echo "the core is free of Qt"
exit $status
