#!/bin/bash
# Command-line tests of trelmik's further outputs, net preparation and LTL mode.
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

# net FILE "place lines" "transition lines" "TP lines" "PT lines"
net() {
    printf 'VOS\nPlainNet\nFORMAT_N\nPL\n%bTR\n%bTP\n%bPT\n%bTX\n' "$2" "$3" "$4" "$5" > "$1"
}

# ---- LTL: accepting cycles
# s leads into the cycle @a c: the cut-off c corresponds to s, inside its configuration.
net ltl_loop.ll_net '1"p0"M1\n2"p1"\n3"p2"\n' '1"s"\n2"@a"\n3"c"\n' '1<2\n2<3\n3<2\n' '1>1\n2>2\n3>3\n'
check "LTL witness" 0 "" -- trelmik -V=loop.cnf ltl_loop.ll_net
[ "$(cat loop.cnf)" = "$(printf 'Y\ns,@a,c\n(s)')" ] || fail "LTL witness: $(cat loop.cnf)"
# A cycle back to the start marking: empty parentheses.
net ltl_start.ll_net '1"p0"M1\n2"p1"\n' '1"@x"\n2"y"\n' '1<2\n2<1\n' '1>1\n2>2\n'
check "LTL start" 0 "" -- trelmik -V= ltl_start.ll_net
[ "$(cat ltl_start.ll_net.LTLcnf)" = "$(printf 'Y\n@x,y\n()')" ] || fail "LTL start: $(cat ltl_start.ll_net.LTLcnf)"
# Same marking by two branches: the accepting branch is no cycle.
net ltl_branch.ll_net '1"p0"M1\n2"r"\n3"p1"\n' '1"@a"\n2"a2"\n3"b"\n' '1<2\n2<3\n3<3\n' '1>1\n2>2\n1>3\n'
check "LTL no cycle" 0 "" -- trelmik -V=branch ltl_branch.ll_net
[ "$(cat branch)" = "N" ] || fail "LTL branch: $(cat branch)"
check "LTL without accepting" 0 "WARNING: No accepting '@' transitions given (LTL)" -- trelmik -V=plain.cnf cycle.ll_net
[ "$(cat plain.cnf)" = "N" ] || fail "LTL without accepting: $(cat plain.cnf)"
# The run stops at the first cut-off that closes an accepting cycle: the
# cycle s @a c beside an independent chain u v w x.  Full runs create 7
# events in every loop; the stop leaves McMillan's loop at 6 (w was created
# with c), the ERV loop at 5 and the component loop, deepest first (-Kd), at 3.
net stop.ll_net '1"p0"M1C1\n2"p1"C1\n3"p2"C1\n4"q0"M1C2\n5"q1"C2\n6"q2"C2\n7"q3"C2\n8"q4"C2\n' \
    '1"s"\n2"@a"\n3"c"\n4"u"\n5"v"\n6"w"\n7"x"\n' '1<2\n2<3\n3<2\n4<5\n5<6\n6<7\n7<8\n' '1>1\n2>2\n3>3\n4>4\n5>5\n6>6\n7>7\n'
while read -r opts full stopped; do
    check "full $opts" 0 "" -- trelmik -t ${opts//:/ }
    grep -qF "|E|=    $full," out.txt || fail "full $opts: $(cat out.txt)"
    check "-V $opts" 0 "" -- trelmik -t -V=stop.cnf ${opts//:/ }
    grep -qF "|E|=    $stopped," out.txt || fail "-V $opts: $(cat out.txt)"
    [ "$(cat stop.cnf)" = "$(printf 'Y\ns,@a,c\n(s)')" ] || fail "-V $opts witness: $(cat stop.cnf)"
done <<'CASES'
stop.ll_net 7 6
-@:stop.ll_net 7 5
-Kd=stop.ll_net 7 3
CASES

# 65535 accepting transitions are more than the index holds.
awk 'BEGIN { print "VOS\nPlainNet\nFORMAT_N\nPL\n1\"p\"M1\nTR"
             for (i = 1; i <= 65535; i++) printf "%d\"@%d\"\n", i, i
             print "TP"; for (i = 1; i <= 65535; i++) printf "%d<1\n", i
             print "PT"; for (i = 1; i <= 65535; i++) printf "1>%d\n", i
             print "TX" }' > many.ll_net
check "LTL overflow" 100 "Internal overflow: more than 2^16 accepting transitions (LTL)" -- trelmik -V= many.ll_net

# ---- nets that are not 1-safe: two concurrent tokens on p
net unsafe.ll_net '1"p0"M1\n2"a"M1\n3"p"\n' '1"t1"\n2"t2"\n' '1<3\n2<3\n' '1>1\n2>2\n'
# p gets its second token only after t3 and t4 have fired on one side.
net late.ll_net '1"x"M1\n2"y"M1\n3"x1"\n4"p"\n5"z"\n' '1"t3"\n2"t4"\n3"t5"\n4"t6"\n' '1<3\n2<4\n3<5\n4<4\n' \
    '1>1\n3>2\n2>3\n5>4\n'
# t adds a token to p each time: its second occurrence reaches {q, p, p}.
net grow.ll_net '1"q"M1\n2"p"\n' '1"t"\n' '1<1\n1<2\n' '1>1\n'
for opts in "" -@ -c; do
    for n in unsafe late grow; do
        check "not 1-safe $opts $n" 101 "The given net is not 1-safe in place 'p'" -- trelmik $opts -m=$n $n.ll_net
    done
done

# ---- component numbers beyond what the net can hold are refused at once
net far.ll_net '1"a"M1C1\n2"b"C2147483647\n' '1"t"\n' '1<2\n' '1>1\n'
check "-K far component" 13 "* Place ´b': component out of range" -- timeout 600 trelmik -K=far.ll_net
[ "$(wc -l < err.txt)" -le 3 ] || fail "-K far component: $(head -c 300 err.txt)"

# ---- preparation
net two.ll_net '1"a"M2\n2"b"\n' '1"t"\n' '1<2\n' '1>1\n'
check "-j on two tokens" 101 "The given net is not 1-safe in place 'a'" -- trelmik -j two.ll_net
net twice.ll_net '1"a"M2\n2"b"M2\n' '1"t"\n' '1<2\n' '1>1\n'
check "-j names the last place" 101 "The given net is not 1-safe in place 'b'" -- trelmik -j twice.ll_net
check "-j" 0 "" -- trelmik -j -O=comp.ll_net -t cycle.ll_net
grep -q '"|a|"' comp.ll_net || fail "-j: no complement place in $(cat comp.ll_net)"
grep -qF "|S|=   4" out.txt || fail "-j: $(cat out.txt)"
net wide.ll_net '1"a"M1\n2"b"M1\n3"c"M1\n4"d"M1\n5"e"\n' '1"t"\n2"u"\n' '1<5\n2<1\n2<2\n2<3\n2<4\n' '1>1\n2>1\n3>1\n4>1\n5>2\n'
check "-d1" 0 "" -- trelmik -d1 -t wide.ll_net
grep -qF "Transform the net (serially)." out.txt || fail "-d1: $(cat out.txt)"
grep -qF "|S|=   7, |T|=   6" out.txt || fail "-d1 gadgets: $(cat out.txt)"
check "-dd" 0 "" -- trelmik -dd -t wide.ll_net
grep -qF "Transform the net (tree-like)." out.txt || fail "-dd: $(cat out.txt)"
check "-d2d" 0 "" -- trelmik -d2d -t wide.ll_net
grep -qF "Transform" out.txt && fail "-d2d transforms: $(cat out.txt)"

# ---- outputs
net chain.ll_net '1"p0"M1\n2"p1"\n' '1"t"\n' '1<2\n' '1>1\n'
check "-Po" 0 "" -- trelmik -Po=chain chain.ll_net
grep -qF '\Cnode(1,6){b1} \qdisk(1,6){2.5pt}' chain.unf.pst.tex || fail "-Po initial: $(cat chain.unf.pst.tex)"
grep -qF '\fnode(1,5){e1}' chain.unf.pst.tex || fail "-Po event"
grep -qF '\Cnode(1,4){b2}' chain.unf.pst.tex || fail "-Po post-condition"
check "-Po cut-off" 0 "" -- trelmik -Po=cyc cycle.ll_net
grep -qF 'fnode[fillcolor=lightgray]' cyc.unf.pst.tex || fail "-Po grey cut-off"
check "-U" 0 "" -- trelmik -u=cyc -U=cyc cycle.ll_net
grep -qF '"B1"20@20eM1m1b"a"' cyc.unf_net || fail "-U initial condition: $(cat cyc.unf_net)"
grep -qF '"CUT_E2"' cyc.unf_net || fail "-U cut-off name: $(cat cyc.unf_net)"
check "-U again" 0 "" -- trelmik -t cyc.unf_net
grep -qF "|E|=    2, Cutoffs: 0" out.txt || fail "-U again: $(cat out.txt)"
check "-g" 0 "" -- trelmik -g=cyc cycle.ll_net
check "-G of a prefix" 0 "Hmm... you are just calculating the unfolding of an unfolding." -- trelmik -t -G=cyc.m
grep -qF "|S|=   3, |T|=   2, |B|=    3, |E|=    2, Cutoffs: 0" out.txt || fail "-G: $(cat out.txt)"
# The Matlab script: flag comments Fp then Fm, the loop that built the prefix
# named also under -K, the function named by the path, and one number per
# node in Placefunction (p1 and q1 both end in 1, so list numbers serve).
mkdir -p mat
check "-g -K" 0 "" -- trelmik -g=mat/k -K=spts.ll_net
head -1 mat/k.m | grep -qxF 'function [ausgabe]=mat/k(flag);' || fail "-g function name: $(head -1 mat/k.m)"
grep -qF "(ERV SPTS" mat/k.m || fail "-g -K algorithm line: $(head -5 mat/k.m)"
grep -q '^% flag==1 => Fp ' mat/k.m && grep -q '^% flag==2 => Fm ' mat/k.m || fail "-g flag comments"
net twins.ll_net '1"p1"M1\n2"q1"M1\n3"r"\n4"s"\n' '1"t1"\n2"u1"\n' '1<3\n2<4\n' '1>1\n2>2\n'
check "-g twins" 0 "" -- trelmik -g=twins twins.ll_net
sed -n '/^Placefunction/,/^]/p' twins.m | grep -c ' 1 1$' | grep -qx 1 || fail "-g Placefunction: $(cat twins.m)"
sed -n '/^Transitionfunction/,/^]/p' twins.m | grep -c ' 1 1$' | grep -qx 1 || fail "-g Transitionfunction: $(cat twins.m)"
check "-e" 0 "" -- trelmik -e=cyc -o cycle.ll_net
cmp -s cyc.ent out.txt || fail "-e and -o differ"
grep -qF "Inzidenzmatrix:" cyc.ent && grep -qx "E2;" cyc.ent || fail "-e: $(cat cyc.ent)"
check "-Pi" 0 "" -- trelmik -A -Pi=before cycle.ll_net
grep -qF "0 conditions." before.unf || fail "-Pi: $(cat before.unf)"

# ---- further input forms
printf '.model m\n.inputs a\n.outputs b\n.graph\na+ b+\nb+ a-\na- b-\nb- a+\n.marking { <b-,a+> }\n.end\n' > hs.g
check "-S" 0 "" -- trelmik -t -S=hs.g
grep -qF "|S|=   4, |T|=   4, |B|=    5, |E|=    4, Cutoffs: 1" out.txt || fail "-S: $(cat out.txt)"
# Two STG inputs are read in time linear in their size but for one sort.
# Each is read at two sizes, the larger ten times the smaller; a linear
# reader takes about ten times as long on it, a quadratic one a hundred
# times.  The times are compared with each other, not with a limit, and the
# smaller one is taken as at least 50 ms so that the start of the process
# does not count as work.
ms_now() { echo $(( $(date +%s%N) / 1000000 )); }
# grows_linearly NAME SMALL_FILE LARGE_FILE -- command (the file name is
# appended to its last word)
grows_linearly() {
    local name=$1 small=$2 large=$3 t0 t1 t2
    shift 4
    local last=${*: -1}
    set -- "${@:1:$#-1}"
    t0=$(ms_now)
    "$@" "$last$small" </dev/null >/dev/null 2>&1
    t1=$(ms_now)
    check "$name" 0 "The net is not T-restricted in 'a+'." -- timeout 600 "$@" "$last$large"
    t2=$(ms_now)
    local a=$((t1 - t0)) b=$((t2 - t1))
    [ "$a" -ge 50 ] || a=50
    [ "$b" -lt $((30 * a)) ] || fail "$name: ten times the input took $b ms after $a ms"
}
# A graph line of many destinations, their names out of order (each new arc
# used to walk the older arcs of its source, once to find it and once for
# its place).
wide_line() {
    awk -v n="$1" 'BEGIN { printf ".model w\n.inputs a\n.graph\na+"; for (i = 1; i <= n; i++) printf " p%d", i * 7919 % 100003
                          printf "\n.marking { p7919 }\n.end\n" }'
}
wide_line 10000 > wide_small.g
wide_line 100000 > wide.g
grows_linearly "-S wide line" wide_small.g wide.g -- trelmik -t -S=
grep -qF "|S|=100000, |T|=   1, |B|=    1, |E|=    0" out.txt || fail "-S wide line: $(tail -3 out.txt)"
# A marking line of many pairs, each naming the place between a+ and one of
# as many edges: a pair costs the inputs of its second edge.
pairs() {
    awk -v n="$1" 'BEGIN { printf ".model w\n.inputs a"; for (i = 1; i <= n; i++) printf " s%d", i
                          printf "\n.graph\na+"; for (i = 1; i <= n; i++) printf " s%d+", i
                          printf "\n.marking {"; for (i = 1; i <= n; i++) printf " <a+,s%d+>", i
                          printf " }\n.end\n" }'
}
pairs 6000 > pairs_small.g
pairs 60000 > pairs.g
grows_linearly "-S wide marking" pairs_small.g pairs.g -- trelmik -c -t -S=
grep -qF "|S|=60000, |T|=60001, |B|=60000, |E|=60000" out.txt || fail "-S wide marking: $(tail -3 out.txt)"
cat > ab.fsa <<'FSA'
FSA A :
STATES = 2 TRANSITIONS = 2 START = 0 ACCEPT = 0
STATE 0 :
TRANS call ( A ; B . m ) ---> 1
STATE 1 :
TRANS internal ( A ) ---> 0
FSA B :
STATES = 1 TRANSITIONS = 1 START = 0 ACCEPT = 0
STATE 0 :
TRANS accept ( A ; B . m ) ---> 0
FSA
check "-F" 0 "" -- trelmik -t -u=ab -F=ab.fsa
grep -qF "|S|=   3, |T|=   2, |B|=    5, |E|=    2, Cutoffs: 1" out.txt || fail "-F: $(cat out.txt)"
grep -qF "000030000000000000001" ab.unf || fail "-F: no synchronised transition in $(cat ab.unf)"

# ---- write and close errors
check "cannot open" 5 "error: cannot open file 'nodir/x.unf_net'." -- trelmik -U=nodir/x cycle.ll_net
if [ -w /dev/full ]; then
    check "cannot write" 5 "error: cannot write file '/dev/full'." -- trelmik -V=/dev/full cycle.ll_net
    check "-o cannot write" 5 "error: cannot write the incidence matrix on standard output." -- \
        sh -c 'trelmik -o cycle.ll_net >/dev/full'
    mkdir -p full && ln -sf /dev/full full/SR_CONFIGFILE
    check "-k cannot write" 5 "error: cannot write file 'SR_CONFIGFILE'." -- sh -c 'cd full && trelmik -k ../cycle.ll_net'
fi
# -P with a letter other than o or i passes over the rest of its group silently.
check "-Px is silent" 0 "" -- trelmik -Pxt cycle.ll_net
grep -q "Calculated" out.txt && fail "-Px: the rest of the group was read: $(cat out.txt)"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
