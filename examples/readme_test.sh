#!/bin/bash
# Runs every command of the README's console blocks and compares what it
# prints with what the README shows, so that the README cannot drift from
# the programs.
#
# The block convention (the README states it too): a block opened by the
# line ```console and closed by ``` holds commands, each on a line that
# begins with "$ ", and after each command the lines it prints (standard
# output and standard error together).  A line "..." stands for any number
# of lines (none included); "..." inside a line for any text in it.  Trailing
# blanks do not count.  The commands run one after the other with bash, in
# one scratch directory that holds a copy of examples/, with the programs on
# PATH, VOSHOME and TULMPATH set; a command must exit with status 0 (one
# whose failure is the point ends in `; echo "exit status $?"`).  Blocks
# fenced otherwise (``` alone, ```sh) are not run.
#
# Usage: readme_test.sh [README]; VOS_SRC names the source tree, PATH must
# hold the programs.
set -u
src=${VOS_SRC:-$(cd "$(dirname "$0")/.." && pwd)}
readme=${1:-$src/README.md}
source "$src/testsupport/cli_check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cases="$work/cases"
scratch="$work/scratch"
mkdir -p "$cases" "$scratch"
for f in "$src"/examples/*; do
    case $f in *.sh | */CMakeLists.txt) ;; *) cp "$f" "$scratch"/ ;; esac
done
export VOSHOME="$src/frontends/templates"
export TULMPATH="$src/analyser"
export LC_ALL=C

# Split the console blocks into cases/N.cmd (the command) and cases/N.exp
# (the lines shown after it); N counts from 1000 so that names sort.
# cases/N.line is the README line of the command.
awk -v dir="$cases" '
    function close_case() { if (n) { close(dir "/" n ".cmd"); close(dir "/" n ".exp") } }
    /^```console[ \t]*$/ { inside = 1; next }
    inside && /^```/ { inside = 0; close_case(); next }
    !inside { next }
    /^\$ / {
        close_case()
        n = n ? n + 1 : 1000
        print substr($0, 3) > (dir "/" n ".cmd")
        print NR > (dir "/" n ".line")
        close(dir "/" n ".line")
        printf "" > (dir "/" n ".exp")
        next
    }
    {
        if (!n) { print "README line " NR ": output before the first command of a block" > "/dev/stderr"; bad = 1; next }
        print > (dir "/" n ".exp")
    }
    END { close_case(); if (inside) { print "README: a console block is not closed" > "/dev/stderr"; bad = 1 }; exit bad }
' "$readme" || fail "the console blocks of $readme are malformed"

# match EXPECTED ACTUAL: whether the lines of ACTUAL fit those of EXPECTED.
match() {
    awk -v expfile="$1" '
        function rstrip(s) { sub(/[ \t\r]+$/, "", s); return s }
        # Whether line a fits pattern e, in which "..." stands for any text.
        function fits(e, a,    k, piece, pos) {
            k = index(e, "...")
            if (k == 0) return e == a
            piece = substr(e, 1, k - 1)
            if (substr(a, 1, length(piece)) != piece) return 0
            a = substr(a, length(piece) + 1)
            e = substr(e, k + 3)
            while ((k = index(e, "...")) > 0) {
                piece = substr(e, 1, k - 1)
                pos = index(a, piece)
                if (pos == 0) return 0
                a = substr(a, pos + length(piece))
                e = substr(e, k + 3)
            }
            return length(a) >= length(e) && substr(a, length(a) - length(e) + 1) == e
        }
        BEGIN { while ((getline line < expfile) > 0) E[++m] = rstrip(line) }
        { A[++n] = rstrip($0) }
        END {
            # M[i, j]: expected lines i.. fit actual lines j..
            for (j = n + 1; j >= 1; --j) M[m + 1, j] = (j == n + 1)
            for (i = m; i >= 1; --i)
                for (j = n + 1; j >= 1; --j)
                    if (E[i] == "...") M[i, j] = M[i + 1, j] || (j <= n && M[i, j + 1])
                    else M[i, j] = j <= n && fits(E[i], A[j]) && M[i + 1, j + 1]
            exit M[1, 1] ? 0 : 1
        }
    ' "$2"
}

count=0
for cmd in "$cases"/*.cmd; do
    [ -e "$cmd" ] || break
    n=${cmd%.cmd}
    line=$(cat "$n.line")
    text=$(cat "$cmd")
    count=$((count + 1))
    (cd "$scratch" && bash -c "$text") </dev/null >"$n.out" 2>&1
    code=$?
    if [ "$code" -ne 0 ]; then
        fail "README line $line: \`$text\` exited with status $code:"
        sed 's/^/    | /' "$n.out"
        continue
    fi
    if ! match "$n.exp" "$n.out"; then
        fail "README line $line: \`$text\` printed other lines than the README shows."
        echo "  README:"
        sed 's/^/    | /' "$n.exp"
        echo "  printed:"
        sed 's/^/    | /' "$n.out"
    fi
done
[ "$count" -gt 0 ] || fail "no console block in $readme"
finish "$count README command"
