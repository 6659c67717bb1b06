# Setup shared by the command-line tests of autocast: a working directory
# with the by-hand project (three states, three arcs, no declarations),
# the templates of the source tree, and a directory of its own for the
# temporary source copies, which every run must leave empty.  Source it
# from a script that sets -u.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../../testsupport/cli_check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export VOSHOME="$VOS_SRC/frontends/templates"
export TMPDIR="$work/tmp"
mkdir "$TMPDIR"

# ac NAME CODE STDERR_TEXT arguments...: one run, then the copy must be gone.
ac() {
    local name=$1 code=$2 err=$3
    shift 3
    check "$name" "$code" "$err" -- autocast "$@"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "$name: the source copy is left: $(ls -A "$TMPDIR")"
    rm -f "$TMPDIR"/*
}

cat > t.prj <<'PRJ'
VOS
PROJECT_vosPFA
VAR
FA
a.pfa
PRJ
cat > a.pfa <<'PFA'
VOS
FiniteAutomaton
FORMAT_N2
PL
1 100@100 1 "idle"
2 200@100 2 "busy"
3 300@100 3 "done"
AR
1 1>2 150@80 150@80 "<true>"
2 2>3 250@80 250@80 "<true>"
3 3>1 200@150 200@150 "<true>"
TX
"B(PN)2"
""
PFA
