# Sourced by the scripted release tests: each check prints "ok: <what>" or "FAILED: <what>" and
# counts its failures; the script ends with `checks_end`.
failures=0
check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
not() { ! "$@"; }
checks_end() {
    echo "$failures failed"
    [ $failures -eq 0 ]
}
