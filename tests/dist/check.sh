# Sourced by the dist tests: check DESCRIPTION COMMAND... passes when the command succeeds, and
# otherwise names the failure with the command's output indented below it.
passed=0 failed=0

check() {
    local what=$1
    shift
    local output
    if output=$("$@" 2>&1); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
        [[ -n $output ]] && sed 's/^/    /' <<<"$output"
    fi
}
