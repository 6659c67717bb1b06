#!/bin/bash
# Command-line tests of the ERV loop: option groups, summary lines, and the
# same files whatever the queue insertion and key form.
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

# The group cosweep uses: ERV twice, no configurations, summary, no conditions behind cut-offs.
trelmik -@@ctC -m=x -M=x pair.ll_net </dev/null >out.txt 2>err.txt || fail "-@@ctC: exit $?"
[ -s err.txt ] && fail "-@@ctC: error output $(cat err.txt)"
[ -s x.mci ] || fail "-@@ctC: no .mci"
[ -s x.bin_coco ] || fail "-@@ctC: no .bin_coco"
grep -qx "Calculated ERV unfolding." out.txt || fail "-@@ctC: no ERV line: $(cat out.txt)"
grep -qx "No conditions behind cut-off events have been included." out.txt || fail "-@@ctC: no -C line"
grep -q "^[0-9]* comparisons\? for queue inserting (end), maximum [0-9]* entr" out.txt || fail "-@@ctC: queue line: $(cat out.txt)"

# Files of the default loop serve as the reference: the prefix of a net whose
# markings are all distinct is the same under both loops.
trelmik -ctC -m=mc -M=mc pair.ll_net </dev/null >/dev/null 2>&1 || fail "McMillan run"
cmp -s x.mci mc.mci || fail "pair: ERV .mci differs from McMillan's"
cmp -s x.bin_coco mc.bin_coco || fail "pair: ERV .bin_coco differs from McMillan's"

for opts in -@y -@w -@Q -@+ -@yQ -@w+; do
    trelmik $opts -t -m=v -u=v cycle.ll_net </dev/null >out.txt 2>err.txt || fail "$opts: exit $?"
    trelmik -@ -m=b -u=b cycle.ll_net </dev/null >/dev/null 2>&1 || fail "-@: exit $?"
    cmp -s v.mci b.mci || fail "$opts: .mci differs from -@"
    diff <(grep -v FILE v.unf) <(grep -v FILE b.unf) >/dev/null || fail "$opts: .unf differs from -@"
done
trelmik -@Qt cycle.ll_net </dev/null >out.txt 2>&1
grep -q "queue inserting (binary)" out.txt || fail "-Q: $(cat out.txt)"
trelmik -@+t cycle.ll_net </dev/null >out.txt 2>&1
grep -q "queue inserting (beginning)" out.txt || fail "-+: $(cat out.txt)"
trelmik -@ -x=1 cycle.ll_net </dev/null >out.txt 2>err.txt
[ $? -eq 3 ] || fail "-@ -x=1: exit code"
grep -qF "Maximal number of events (1) has been exceeded." err.txt || fail "-@ -x=1: $(cat err.txt)"

# Two extensions with equal Parikh vectors are ordered by their layers, whose
# table counts transitions in 16-bit fields: with 65535 dead transitions
# beside the net, -y and -w stop there as the sparse vectors do at once.
awk 'BEGIN { print "VOS\nPlainNet\nFORMAT_N\nPL\n1\"p1\"M1\n2\"p2\"M1\n3\"p3\"M1\n4\"p4\"M1\n5\"p5\"\n6\"z\""
             print "TR\n1\"t1\"\n2\"t2\"\n3\"t3\"\n4\"t4\""
             for (i = 1; i <= 65535; i++) printf "%d\"d%d\"\n", i + 4, i
             print "TP\n1<4\n2<5\n4<4"; for (i = 1; i <= 65535; i++) printf "%d<6\n", i + 4
             print "PT\n1>1\n4>1\n3>2\n1>3\n5>3\n4>4\n5>4"; for (i = 1; i <= 65535; i++) printf "6>%d\n", i + 4
             print "TX" }' > tie.ll_net
trelmik -@t -x=20 tie.ll_net </dev/null >out.txt 2>err.txt
[ $? -eq 111 ] && grep -qx "Change PV_Item for Parikh vectors." err.txt || fail "-@ wide: $(cat err.txt)"
for opts in -@y -@w; do
    trelmik $opts -x=20 tie.ll_net </dev/null >/dev/null 2>err.txt
    [ $? -eq 111 ] && grep -qx "Change PV_Item for Parikh vectors." err.txt || fail "$opts wide: $(cat err.txt)"
done

# The component loop, as cosweep runs it.
trelmik -ctCK=spts.ll_net -m=k -M=k </dev/null >out.txt 2>err.txt || fail "-ctCK: exit $?"
[ -s err.txt ] && fail "-ctCK: error output $(cat err.txt)"
[ -s k.mci ] && [ -s k.bin_coco ] || fail "-ctCK: files missing"
grep -qx "Calculated ERV SPTS unfolding." out.txt || fail "-ctCK: $(cat out.txt)"
grep -qx "Number of components: 2" out.txt || fail "-ctCK: components line"
grep -qx "Silex order 2, ascending transition numbering" out.txt || fail "-ctCK: order line"
grep -q "^Comparisons: [0-9]* depth \[[0-9]* zero\] / [0-9]* normal$" out.txt || fail "-ctCK: comparisons line"
trelmik -tK1ds=spts.ll_net </dev/null >out.txt 2>&1 || fail "-K1ds: exit $?"
grep -qx "Silex order 1, descending transition numbering, compare sum of component vectors" out.txt \
    || fail "-K1ds: order line: $(cat out.txt)"
grep -q "^Comparisons: [0-9]* sum / [0-9]* depth \[[0-9]* zero\] / [0-9]* normal$" out.txt || fail "-K1ds: comparisons line"
# Nets that are not made of one-token components take the component-error exit.
# -h of the component loop: its cuts in component order (idle is place 4 of
# component 1, free place 2 of component 2) under its own hash, 2 x first + 1
# x second place modulo 21; -b leaves it alone.
for opts in -h -hb; do
    trelmik $opts -K=spts.ll_net </dev/null >out.txt 2>&1 || fail "-K $opts: exit $?"
    grep -qxF "##  5. {1,3}" out.txt && grep -qxF "## 10. {4,2}" out.txt || fail "-K $opts: $(cat out.txt)"
done
trelmik -sb -K=spts.ll_net </dev/null >out.txt 2>&1
grep -qF "Hash table entries: 3 linear lists" out.txt || fail "-K -sb: $(cat out.txt)"
trelmik -K=pair.ll_net </dev/null >out.txt 2>err.txt
[ $? -eq 13 ] || fail "-K on a net without components: exit code"
grep -qx "ERRORS while checking components:" err.txt || fail "-K: heading: $(cat err.txt)"
sed 's/^3"free"M1C2$/3"free"C2/' spts.ll_net >unmarked.ll_net
trelmik -K=unmarked.ll_net </dev/null >out.txt 2>err.txt
[ $? -eq 13 ] || fail "-K on an unmarked component: exit code"
grep -qF "* Component 2 holds 0 tokens, not one" err.txt || fail "-K: unmarked component: $(cat err.txt)"

# Maximal configurations: counted in the summary unless -c, checked by -#.
trelmik -t pair.ll_net </dev/null >out.txt 2>&1 || fail "configs: exit $?"
grep -q "Cutoffs: 1, Configs: 1, time:" out.txt || fail "configs: summary: $(cat out.txt)"
trelmik -@tz pair.ll_net </dev/null >out.txt 2>&1 || fail "-z: exit $?"
grep -q "Configs: 1, time:" out.txt || fail "-z: summary: $(cat out.txt)"
trelmik -tc pair.ll_net </dev/null >out.txt 2>&1
grep -q "Configs" out.txt && fail "-c: configurations counted: $(cat out.txt)"
trelmik -# -@ spts.ll_net </dev/null >out.txt 2>&1 || fail "-#: exit $?"
grep -qx "Consistency Check" out.txt && grep -qx "End of Consistency Check" out.txt || fail "-#: $(cat out.txt)"
grep -q "Inconsistency" out.txt && fail "-#: $(cat out.txt)"

# -N: the hash table shows the events that reached each cut.
trelmik -@Nh pair.ll_net </dev/null >out.txt 2>&1 || fail "-Nh: exit $?"
grep -q "}     ->{2}$" out.txt || fail "-Nh: $(cat out.txt)"
trelmik -@h pair.ll_net </dev/null >out.txt 2>&1
grep -q -- "->" out.txt && fail "-h without -N lists events: $(cat out.txt)"

# -k: the configurations once more, on the reduced prefix, and their file.
trelmik -@tk -u=k spts.ll_net </dev/null >out.txt 2>err.txt || fail "-k: exit $?"
grep -qx "There are 2 maximal configurations." out.txt || fail "-k: $(cat out.txt)"
grep -q "^Time to calculate configurations separately: " out.txt || fail "-k: time line"
grep -q "Configs: 2$" out.txt || fail "-k: summary: $(cat out.txt)"
[ "$(grep -c '\.$' SR_CONFIGFILE)" -eq 2 ] || fail "-k: SR_CONFIGFILE: $(cat SR_CONFIGFILE)"
[ -s kQ.unf ] || fail "-k: no Q file"
# The Q file describes the reduced prefix the second summary counts.
counts=$(sed -n 's/^|S|=.*|B|= *\([0-9]*\), |E|= *\([0-9]*\), Cutoffs: [0-9]*, Configs: [0-9]*$/\1 \2/p' out.txt)
[ "$counts" = "$(sed -n 's/^\([0-9]*\) conditions\?\.$/\1/p' kQ.unf) $(sed -n 's/^\([0-9]*\) events\?\.$/\1/p' kQ.unf)" ] \
    || fail "-k: Q file counts differ from '$counts': $(head -12 kQ.unf)"
mkdir ro && chmod 555 ro
if [ "$(id -u)" != 0 ]; then
    (cd ro && trelmik -k ../spts.ll_net </dev/null >/dev/null 2>../err.txt)
    [ $? -eq 111 ] || fail "-k unwritable: exit code"
    grep -qx "Could not open file for writing." err.txt || fail "-k unwritable: $(cat err.txt)"
fi

# -b and -a: cuts as place names (the prefix is the same), -a's second cut per event.
trelmik -m=plain pair.ll_net </dev/null >/dev/null 2>&1
trelmik -b#h -m=bits pair.ll_net </dev/null >out.txt 2>err.txt || fail "-b: exit $?"
cmp -s plain.mci bits.mci || fail "-b: another prefix"
grep -qx -- "--  Start Marking  --: {[a-z]*,[a-z]*}" out.txt || fail "-b: start marking print: $(cat out.txt)"
grep -q "^##  *[0-9]*\. {[a-z]*,[a-z]*}$" out.txt || fail "-b: hash table print: $(cat out.txt)"
trelmik -bs pair.ll_net </dev/null >out.txt 2>&1
grep -q "Hash table entries: 2 bit arrays ( 40 (head) + 8 (array) bytes each )" out.txt || fail "-bs: $(cat out.txt)"
trelmik -a pair.ll_net </dev/null >out.txt 2>err.txt || fail "-a: exit $?"
[ "$(grep -c '^ohne M0    : {' out.txt)" -eq 2 ] || fail "-a: $(cat out.txt)"
[ "$(grep -c '^ueber Konf.: {' out.txt)" -eq 2 ] || fail "-a: $(cat out.txt)"

# -n changes nothing under -@ and -K: every condition keeps its co row for the matrix.
for f in pair.ll_net spts.ll_net; do
    trelmik -@ -M=rows "$f" </dev/null >/dev/null 2>&1 || fail "-@ $f: exit $?"
    trelmik -@ -n=1 -M=rows1 "$f" </dev/null >/dev/null 2>&1 || fail "-@ -n=1 $f: exit $?"
    cmp -s rows.bin_coco rows1.bin_coco || fail "-@ -n=1 $f: another co matrix"
done
trelmik -K=spts.ll_net -M=krows </dev/null >/dev/null 2>&1
trelmik -n=1K=spts.ll_net -M=krows1 </dev/null >/dev/null 2>&1
cmp -s krows.bin_coco krows1.bin_coco || fail "-K -n=1: another co matrix"

[ "$failures" -eq 0 ] || exit 1
echo "all ERV command-line checks passed"
