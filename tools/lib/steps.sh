# Timed steps for the build and CI scripts: `step NAME command...` runs the
# command and records how many seconds it took; the table of all steps is
# printed when the script ends, also when a step failed.
# shellcheck shell=bash
_step_names=()
_step_secs=()
_step_title=${_step_title:-steps}

step() {
  local name=$1 start=$SECONDS rc=0
  shift
  echo "== $name" >&2
  "$@" || rc=$?
  _step_names+=("$name")
  _step_secs+=($((SECONDS - start)))
  return $rc
}

steps_report() {
  local i total=0
  [ ${#_step_names[@]} -gt 0 ] || return 0
  echo "== $_step_title: seconds per step"
  for i in "${!_step_names[@]}"; do
    printf '%6d  %s\n' "${_step_secs[$i]}" "${_step_names[$i]}"
    total=$((total + _step_secs[i]))
  done
  printf '%6d  total\n' "$total"
}
trap steps_report EXIT
