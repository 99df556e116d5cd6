# What the check scripts share; sourced, with CHECK_NAME set to the script's name.
#   pass TEXT / fail TEXT   count a result and say it
#   check_summary           prints "NAME: N passed, M failed"; false when any failed
passed=0
failed=0
pass() { echo "$CHECK_NAME: ok: $*"; passed=$((passed + 1)); }
fail() { echo "$CHECK_NAME: FAILED: $*" >&2; failed=$((failed + 1)); }
check_summary() {
  echo "$CHECK_NAME: $passed passed, $failed failed"
  [[ $failed == 0 ]]
}
