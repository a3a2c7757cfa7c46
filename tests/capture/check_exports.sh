#!/bin/sh
# libnetgrab.so must define exactly the four exported functions.
set -eu
lib=$1
got=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort | tr '\n' ' ')
want="GetRecBytes GetRecError StopRecord netgrab "
if [ "$got" != "$want" ]; then
  echo "exports of $lib: '$got', expected '$want'"
  exit 1
fi
echo "exports: $got"
