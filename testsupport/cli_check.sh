# Helpers of the command-line test scripts; source it from a script that
# sets -u.  `check` runs a command and compares its exit code and standard
# error; `fail` counts a failure; `exists`/`absent` check files a run wrote
# or must not have written; `finish` reports and exits.
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# check NAME EXPECTED_CODE EXPECTED_STDERR_SUBSTRING -- command...
# Runs the command with stdin from /dev/null, its output in out.txt and
# err.txt; checks the exit code and that standard error contains the text
# (empty text: standard error must be empty).
check() {
    local name=$1 code=$2 err=$3
    shift 4
    "$@" </dev/null >out.txt 2>err.txt
    local got=$?
    [ "$got" -eq "$code" ] || fail "$name: exit $got, expected $code ($(cat err.txt))"
    if [ -z "$err" ]; then
        [ -s err.txt ] && fail "$name: unexpected error output: $(cat err.txt)"
    else
        grep -qF -- "$err" err.txt || fail "$name: error output lacks '$err': $(cat err.txt)"
    fi
}

# exists FILE... / absent FILE...
exists() { for f; do [ -f "$f" ] || fail "$f was not written"; done; }
absent() { for f; do [ -e "$f" ] && fail "$f should not exist"; done; }

# finish WHAT: the verdict of the script.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "all $1 tests passed"
}
