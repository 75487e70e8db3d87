# Timed steps for the build and CI scripts: `step NAME command...` runs the
# command and records how many seconds it took, and how many seconds of
# processor time it and everything it waited for used (user and system; on
# a machine of two processors a step that keeps both busy uses twice its
# seconds); the table of all steps is printed when the script ends, also
# when a step failed.
# shellcheck shell=bash
_step_names=()
_step_secs=()
_step_cpu=()
_step_title=${_step_title:-steps}

# The processor seconds of the shell's finished children so far, from the
# second line of `times` ("1m2.345s 0m6.789s": user, system), which must run
# in this shell, not in a subshell of a command substitution: it goes through
# a file; the result is left in _step_now.
_step_times=$(mktemp)
_step_now=0
_children_cpu() {
  times >"$_step_times"
  _step_now=$(awk 'NR == 2 { t = 0
                 for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
                 printf "%d\n", t }' "$_step_times")
}

step() {
  local name=$1 start=$SECONDS cpu rc=0
  shift
  echo "== $name" >&2
  _children_cpu
  cpu=$_step_now
  "$@" || rc=$?
  _step_names+=("$name")
  _step_secs+=($((SECONDS - start)))
  _children_cpu
  _step_cpu+=($((_step_now - cpu)))
  return $rc
}

steps_report() {
  local i total=0 cpu=0
  [ ${#_step_names[@]} -gt 0 ] || return 0
  echo "== $_step_title: seconds per step (and processor seconds)"
  for i in "${!_step_names[@]}"; do
    printf '%6d %6d  %s\n' "${_step_secs[$i]}" "${_step_cpu[$i]}" "${_step_names[$i]}"
    total=$((total + _step_secs[i]))
    cpu=$((cpu + _step_cpu[i]))
  done
  printf '%6d %6d  total\n' "$total" "$cpu"
  rm -f "$_step_times"
}
trap steps_report EXIT
