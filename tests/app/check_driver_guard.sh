#!/bin/sh
# Each TRMA_ function the program needs from the driver library must have
# its __wrap_ in the program (the UI-thread guard), but for the two made to
# be called from any thread.  Usage: check_driver_guard.sh PROGRAM
syms=$(nm "$1") || exit 2
need=$(printf '%s\n' "$syms" | awk '$(NF - 1) == "U" && $NF ~ /^TRMA_/ {print $NF}' | sort -u)
[ -n "$need" ] || { echo "no driver call found in $1"; exit 2; }
bad=0
for s in $need; do
  case $s in TRMA_CancelReport | TRMA_GetErrorMessage) continue ;; esac
  if ! printf '%s\n' "$syms" | awk -v w="__wrap_$s" '$(NF - 1) == "T" && $NF == w {f = 1} END {exit !f}'; then
    echo "$s is called without the guard (add it to driver_guard.cpp and TERMINA_WRAPPED_CALLS)"
    bad=1
  fi
done
exit $bad
