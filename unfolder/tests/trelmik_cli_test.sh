#!/bin/bash
# Command-line tests of trelmik: messages, exit codes and the files written.
set -u
fixtures=$(cd "$(dirname "$0")/fixtures" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$fixtures"/*.ll_net .
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# check NAME EXPECTED_CODE EXPECTED_STDERR_SUBSTRING -- command...
# Runs the command with stdin from /dev/null; checks exit code and that
# standard error contains the text (empty text: standard error must be empty).
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

# ---- exit codes and messages, one row per case --------------------------------------
check "missing input" 10 "error: missing parameter (input file)." -- trelmik -t
check "-m without =" 11 "parameter error: '=' expected after '-m'." -- trelmik -m cycle.ll_net
check "-mx is one option" 11 "parameter error: '=' expected after '-m'." -- trelmik -mx cycle.ll_net
check "-UG without =" 11 "parameter error: '=' expected after '-UG'." -- trelmik -UG cycle.ll_net
check "-x=0" 11 "parameter error: number greater than 0 expected after '-x'." -- trelmik -x=0 cycle.ll_net
check "-n=0" 11 "parameter error: number greater than 0 expected after '-n'." -- trelmik -n=0 cycle.ll_net
check "-n= without digits" 11 "parameter error: number expected after '-n='." -- trelmik -n=a cycle.ll_net
check "-x beyond 32 bits" 11 "parameter error: number out of range (32 bits) after '-x='." -- trelmik -x=4294967296 cycle.ll_net
check "-K without =" 11 "parameter error: '=' expected after '-K'." -- trelmik -K2a
check "event limit" 3 "Maximal number of events (1) has been exceeded." -- trelmik -x=1 cycle.ll_net
check "-x=2 is enough" 0 "" -- trelmik -x=2 cycle.ll_net
check "unreadable net" 4 "could not open file 'nosuch.ll_net'" -- trelmik nosuch.ll_net
printf 'VOS\nPlainNet\nFORMAT_N\nPL\n1"a"Mx\nTX\n' > broken.ll_net
check "syntax error" 10 "ERROR: syntax error in file 'broken.ll_net'" -- trelmik broken.ll_net
check "-A reads and stops" 0 "" -- trelmik -A -m=onlyread cycle.ll_net
[ -f onlyread.mci ] && fail "-A must not unfold"
check "-O writes the net" 0 "" -- trelmik -A -O=plain.ll_net pair.ll_net
trelmik -m=plain plain.ll_net >/dev/null 2>&1 && trelmik -m=direct pair.ll_net >/dev/null 2>&1 &&
    cmp -s plain.mci direct.mci || fail "-O net does not unfold to the same prefix"
# Other input forms: the LISP form of the cycle unfolds to the same prefix
# (its transitions are named T1, T2 and its places in order of appearance).
printf "(define transitions '( ((a) (b)) ((b) (a)) ))\n(define initial-tokens '( a ))\n" > cycle.lisp
check "LISP input" 0 "" -- trelmik -L=cycle.lisp -m=lisp
[ "$(od -An -v -tu4 -N60 lisp.mci | tr -s ' \n' ' ')" = "$(trelmik -m=vos cycle.ll_net >/dev/null 2>&1; od -An -v -tu4 -N60 vos.mci | tr -s ' \n' ' ')" ] \
    || fail "LISP input gives another prefix"
trelmik -i cycle.ll_net >out.txt 2>&1 || fail "-i"
grep -qF "Inzidenzmatrix:" out.txt || fail "-i prints the incidence matrix: $(cat out.txt)"
check "unknown option" 0 "parameter warning: unknown option 'Zq' (ignoring)." -- trelmik -Zq cycle.ll_net
check "lone dash" 0 "parameter warning: missing option after '-'." -- trelmik - cycle.ll_net
check "two inputs" 0 "parameter warning: input file after '-f' already specified;
                   'cycle.ll_net' overwrites 'pair.ll_net'." -- trelmik pair.ll_net -f=cycle.ll_net
check "option twice" 0 "parameter warning: option '-m' appears twice;
                   'b' overwrites 'a'." -- trelmik -m=a -m=b cycle.ll_net
[ -f b.mci ] && [ ! -f a.mci ] || fail "the later -m value must win"
check "output not writable" 5 "error: cannot open file 'nodir/x.mci'." -- trelmik -m=nodir/x cycle.ll_net
ln -s /dev/full full.mci
check "write error" 5 "error: cannot write file 'full.mci'." -- trelmik -m=full.mci cycle.ll_net
rm -f full.mci

cat > empty.ll_net <<'EOF'
VOS
PlainNet
FORMAT_N
PL
1"a"
2"b"
TR
1"t"
TP
1<2
PT
1>1
TX
EOF
check "no start marking" 13 "error: net without start marking." -- trelmik empty.ll_net

cat > heavy.ll_net <<'EOF'
VOS
PlainNet
FORMAT_N
PL
1"a"M1
2"b"
3"c"
TR
1"t"
2"u"
3"w"
TP
1<2
2<2w2
PT
1>1
1>2
3>3
TX
EOF
check "weight above 1" 0 "Transition 'u' is connected to an arc with weight > 1 and is removed." -- trelmik -T -m=h heavy.ll_net
grep -qF "The net is not T-restricted in 'w'." err.txt || fail "T-restriction message missing: $(cat err.txt)"
grep -qF "Useless transitions for the construction of the unfolding:" out.txt || fail "-T heading missing"
grep -qxF "{ w }" out.txt || fail "-T list: $(cat out.txt)"

# ---- version and usage ------------------------------------------------------------------
trelmik >out.txt 2>err.txt; code=$?
[ $code -eq 0 ] && head -1 out.txt | grep -qF "'trelmik' -- construct finite prefix/unfolding for a 1-safe Petri net." \
    || fail "usage without arguments"
grep -qF "  -n                change B-conflict algorithm after 3000 events" out.txt || fail "usage -n line"
grep -qF "  -x                restrict the number of maximal generated events to 10000" out.txt || fail "usage -x line"
trelmik -v >out.txt 2>&1; code=$?
[ $code -eq 0 ] && [ "$(cat out.txt)" = "trelmik - Version 4.5.1 (22.06.1999)." ] || fail "version: $(cat out.txt)"
trelmik -v -t cycle.ll_net >out.txt 2>&1 || fail "-v with an input must run"
grep -qF "Calculated McMillan unfolding." out.txt || fail "-v with input did not unfold"

# ---- the prefix files ---------------------------------------------------------------------
trelmik -m=c -u=c -tcC cycle.ll_net >out.txt 2>err.txt || fail "cycle run"
[ -s err.txt ] && fail "cycle run wrote errors: $(cat err.txt)"
cat > expect.txt <<'EOF'
|S|=   2, |T|=   2, |B|=    2, |E|=    2, Cutoffs: 1, time:      0.00 s
Calculated McMillan unfolding.
No conditions behind cut-off events have been included.
EOF
sed 's/time: *[0-9.]* s/time:      0.00 s/' out.txt | diff expect.txt - >/dev/null || fail "summary: $(cat out.txt)"
# .mci: counts, labels, condition records, cut-off pairs, configurations, names.
got=$(od -An -v -tx1 c.mci | tr -s ' \n' ' ')
want=" 02 00 00 00 02 00 00 00 01 00 00 00 02 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 00 00 00 01 00 00 00 02 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 00 00 00 02 00 00 00 02 00 00 00 61 00 62 00 00 74 31 00 74 32 00 00 "
[ "$got" = "$want" ] || fail ".mci of the cycle: $got"
cat > want.unf <<'EOF'
*********************************************
* FILE: c.unf                               *
*********************************************

Unfolding of the net described in file 'cycle.ll_net'.
=========

2 conditions.
2 events.
1 component.

Names and labellings of events:
numname  name  tr_name  label (multiset or variable)
      1. E1    t1       {}
      2. E2    t2       {}

List of conditions and edges:
preset     numname  label<comp>name  pl_name       postset
                  1. (e) < 0>  B1    a         --> 1
      1 -->       2. (0) < 0>  B2    b         --> 2

1 cutoff event (corresponding event):
E2(start marking).

0 maximal configurations:


*********************************************
* END OF FILE c.unf                         *
*********************************************

EOF
# The component count is what the net reader reports; compare the rest.
sed 's/^[0-9]* component.*\.$/1 component./' c.unf | diff want.unf - || fail ".unf of the cycle"

# Conditions behind cut-offs (default): one more condition, kind 'i'.
trelmik -m=c2 -u=c2 cycle.ll_net >/dev/null 2>&1 || fail "cycle run with conditions behind cut-offs"
grep -qF "      2 -->       3. (i) < 0>  B3    a" c2.unf || fail "condition behind the cut-off"
[ "$(od -An -v -tu4 -N8 c2.mci | tr -s ' ')" = " 3 2" ] || fail "counts of c2.mci"

# Names already ending in the extension are kept; short names get it.
trelmik -m=x.mci -u=.unf cycle.ll_net >/dev/null 2>&1 || fail "names with extensions"
[ -f x.mci ] && [ ! -f x.mci.mci ] && [ -f .unf ] || fail "extension rule"

# ---- co-relation matrices --------------------------------------------------------------
trelmik -M=p pair.ll_net >out.txt 2>err.txt || fail "binary matrix run"
# Rows 2..4 (conditions behind the cut-off have none): 1 / 00 / 001, padded.
[ "$(od -An -v -tx1 p.bin_coco | tr -s ' \n' ' ')" = " 80 00 20 " ] || fail "bin_coco: $(od -An -tx1 p.bin_coco)"
trelmik -M=p -up pair.ll_net >out.txt 2>err.txt || fail "ascii matrix run"
grep -qxF "You are going to write an ASCII co-matrix file of size 6 bytes" out.txt || fail "ascii size line"
printf '1\n11\n001\n0011\n' | diff - MATRIX.asc_coco >/dev/null || fail "asc_coco: $(cat MATRIX.asc_coco)"
trelmik -M= pair.ll_net >/dev/null 2>&1 && [ -f DUMMY.bin_coco ] || fail "empty -M value writes DUMMY.bin_coco"

# A large matrix asks first; "n" and the end of input write nothing, "y" writes.
{
    echo VOS; echo PlainNet; echo FORMAT_N; echo PL
    for i in $(seq 1 700); do echo "$((2 * i - 1))\"a$i\"M1"; echo "$((2 * i))\"b$i\""; done
    echo TR
    for i in $(seq 1 700); do echo "$((2 * i - 1))\"go$i\""; echo "$((2 * i))\"back$i\""; done
    echo TP
    for i in $(seq 1 700); do echo "$((2 * i - 1))<$((2 * i))"; echo "$((2 * i))<$((2 * i - 1))"; done
    echo PT
    for i in $(seq 1 700); do echo "$((2 * i - 1))>$((2 * i - 1))"; echo "$((2 * i))>$((2 * i))"; done
    echo TX
} > big.ll_net
echo n | trelmik -M=big big.ll_net >out.txt 2>err.txt || fail "answer n"
grep -qF "You are going to write a binary co-matrix file of size" out.txt || fail "size line of the question"
grep -qF "Do you really want to write it? [y|n] " out.txt || fail "question"
[ -f big.bin_coco ] && fail "answer n wrote the matrix"
printf 'x\nn\n' | trelmik -M=big big.ll_net >out.txt 2>&1
[ "$(grep -o 'Do you really' out.txt | wc -l)" -eq 2 ] || fail "another answer repeats the question"
trelmik -M=big big.ll_net </dev/null >out.txt 2>err.txt; code=$?
[ $code -eq 0 ] && [ ! -f big.bin_coco ] && grep -qF "taken as 'n'" err.txt || fail "end of input answers n"
echo y | trelmik -M=big big.ll_net >out.txt 2>&1 && [ -s big.bin_coco ] || fail "answer y writes"

# A fatal signal (here while the program waits for the answer) ends it with
# the banner and exit code 1.  The tests otherwise leave these signals to the
# sanitizer; here the program's own handler is what is tested.
rm -f big.bin_coco answer.fifo
mkfifo answer.fifo
ASAN_OPTIONS="${ASAN_OPTIONS:-}:allow_user_segv_handler=1" trelmik -M=big big.ll_net <answer.fifo >out.txt 2>err.txt &
pid=$!
exec 3>answer.fifo
for _ in $(seq 1 300); do grep -qF "Do you really" out.txt && break; sleep 0.1; done
kill -SEGV "$pid"
wait "$pid"
code=$?
exec 3>&-
[ $code -eq 1 ] || fail "fatal signal: exit $code"
printf '%s\n' "================================================" "    A segmentation violation has occurred." \
    "================================================" | diff - err.txt >/dev/null || fail "signal banner: $(cat err.txt)"

# ---- unused transitions ------------------------------------------------------------------
cat > unused.ll_net <<'EOF'
VOS
PlainNet
FORMAT_N
PL
1"a"M1
2"b"
3"c"
4"d"
TR
1"t"
2"w"
TP
1<2
PT
1>1
3>2
TX
EOF
trelmik -T=list.txt unused.ll_net >out.txt 2>err.txt || fail "-T=F"
[ "$(cat list.txt)" = " w" ] || fail "-T=F list: $(cat list.txt)"
trelmik -T=nodir/list unused.ll_net >/dev/null 2>err.txt; code=$?
[ $code -eq 4 ] && grep -qF "error: could not open file 'nodir/list' for writing." err.txt || fail "-T=F open failure"
trelmik -T+ unused.ll_net >out.txt 2>err.txt || fail "-T+"
grep -qxF '"c"0@0' unused.ll_net.min && ! grep -qF '"w"' unused.ll_net.min || fail "-T+ net: $(cat unused.ll_net.min)"
trelmik -T! unused.ll_net >out.txt 2>err.txt || fail "-T!"
grep -qF '"c"' unused.ll_net.min && fail "-T! keeps isolated places"
grep -qxF '"b"0@0' unused.ll_net.min || fail "-T! dropped a connected place"

# ---- summaries ---------------------------------------------------------------------------
trelmik -s -h pair.ll_net >out.txt 2>err.txt || fail "-s -h"
for text in "Hash table:" "##  0. " "Statistics:" "time spent running" "GL_maxTpostset = 2, GL_maxTpreset = 2" \
    "* Original system:" "  |S|=     4, |T|=     2, |ST|=     4, |TS|=     4" "* Unfolded net:" \
    "  |B|=     6, |E|=     2, |BE|=     4, |EB|=     4" "  Number of buckets: 17." \
    "* Number of cutoff events: 1." "* Other bit arrays: <...yet missing...>"; do
    grep -qF -- "$text" out.txt || fail "-s -h output lacks '$text'"
done
trelmik -ss pair.ll_net >out.txt 2>&1 || fail "-ss"
grep -qF "Calculated McMillan unfolding." out.txt && ! grep -qF "Statistics:" out.txt || fail "-ss: $(cat out.txt)"
trelmik -ps pair.ll_net >out.txt 2>&1 || fail "-ps"
grep -qF "Statistics:" out.txt && grep -qF "Config's:" out.txt || fail "-ps is -p -s"
# The statistics count what the run keeps: two configurations of two events
# each (the summary's Configs), and no places in the cut records of either
# loop, which hold hashes.
while read -r opts cut_places elements; do
    trelmik -s $opts spts.ll_net >out.txt 2>&1 || fail "-s $opts"
    grep -qF "Configs: 2, " out.txt || fail "-s $opts: summary $(cat out.txt)"
    grep -qxF "* Number of maximal configurations: 2 ( 2+4 list elements )." out.txt || fail "-s $opts: $(cat out.txt)"
    grep -qxF "  Hash table entries: 3 linear lists ( $cut_places set list elements )" out.txt || fail "-s $opts: cuts"
    grep -qxF "List elements: $elements" out.txt || fail "-s $opts: list elements $(cat out.txt)"
done <<'CASES'
-t 0 4
-@ 0 4
CASES
trelmik -# cycle.ll_net >out.txt 2>&1 || fail "-#"
grep -qxF "E2: (depth=2) (size=2) {1}" out.txt || fail "-# cut lines: $(cat out.txt)"
trelmik -p pair.ll_net >out.txt 2>&1 || fail "-p"
grep -qF "|B|=       4, |E|=       2, Cutoffs:       0, Config's:       1, Depth:    2 " out.txt || fail "progress line: $(cat out.txt)"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all trelmik command-line checks passed"
