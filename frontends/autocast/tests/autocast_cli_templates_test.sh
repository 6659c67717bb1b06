#!/bin/bash
# Command-line tests of autocast: the messages of the fragments, the output
# files, the templates and the procedure boxes.
set -u
source "$(dirname "$0")/cli_common.sh"

# ---- fragments ------------------------------------------------------------------------
label() {  # label TEXT: f.prj, whose automaton is a.pfa with the first label replaced
    awk -v l="$1" '/^1 1>2 / {sub(/"<true>"/, "\"" l "\"")} {print}' a.pfa > f.pfa
    sed 's/a.pfa/f.pfa/' t.prj > f.prj
}
label "x' = 1"
ac "a label without angle brackets" 1 "error while parsing: parse error" f.prj
label "var x : {0..3}"
ac "declarations as a label" 1 "error while parsing: got vardecls instead of expression" f.prj
label "<a<b=c>"
ac "comparisons do not associate" 1 "error while parsing: parse error" f.prj
printf 'VOS\nPROJECT_vosPFA\nVAR\n<true>;\nFA\na.pfa\n' > expr.prj
ac "an expression as declarations" 1 "error while parsing: got expression instead of vardecls" expr.prj
ac "a process declaration that is none" 1 "error while parsing: incorrect procedure declaration" "-Pvar x : {0..1};" t.prj
ac "a process declaration given" 0 "warning: identifier c declared but not used" \
    "-Pproc p(val x : {1..3}, ref c : chan 2 of {0..1})" t.prj
printf 'VOS\nPROJECT_vosPFA\nVAR\nconst k = -10001;\nFA\na.pfa\n' > range.prj
ac "a constant out of range" 1 "Constant out of range !" range.prj
label "<u' = 1>"
rm -f f.hl_net
ac "an undeclared identifier" 1 "undeclared identifier u" f.prj -o f.hl_net
grep -qF "1 error(s), no net written" err.txt || fail "counted errors: $(cat err.txt)"
[ -e f.hl_net ] && fail "counted errors: no net written"

# ---- output files and templates -------------------------------------------------------
ac "unwritable reference file" 3 "could not open file nodir/t.ref for writing" t.prj -o t.hl_net -r nodir/t.ref
ac "unwritable net file" 3 "Error: Could not open file nodir/t.hl_net !" t.prj -o nodir/t.hl_net
printf 'VOS\nPROJECT_vosPFA\nVAR\nvar x : {0..3} init 0;\nFA\nd.pfa\n' > decl.prj
sed "s/<true>/<x' = 'x + 1>/" a.pfa > d.pfa
check "no VOSHOME" 1 'Environment variable $VOSHOME must be set !' -- env -u VOSHOME autocast decl.prj
TMPDIR="$work/nosuch" check "no temporary directory" 1 "could not open temporary file $work/nosuch/autocast" -- autocast t.prj
# Template directories with one template changed.
templates() {  # templates FILE CONTENT: a copy of the templates with FILE replaced
    rm -rf alt && mkdir -p alt/lib/autocast && cp -r "$VOSHOME/lib/autocast/nets" alt/lib/autocast/
    if [ -n "$2" ]; then printf '%s' "$2" > "alt/lib/autocast/nets/$1"; else rm "alt/lib/autocast/nets/$1"; fi
}
templates proc_box_set_0.hl_net ""
VOSHOME=$work/alt ac "a missing procedure box" 4 "could not open file" -g1..2 -u decl.prj -o g.hl_net
templates proc_box_set_0.hl_net 'VOS
HLNet
FORMAT_N
PL
1 0@0 e Z"{dot}"
2 0@120 x Z"{dot}"
TR
1 0@60 i"^$NAME$!call(proc)" g"$PAR_PRE$ tt"
TP
1<2 p"dot"
PT
1>1 p"dot"
'
VOSHOME=$work/alt ac "a procedure box without body" 1 "BODY not specified !" -g1..2 -u decl.prj -o g.hl_net
templates proc_box_set_0.hl_net 'VOS
HLNet
FORMAT_N
PL
1 0@0 e Z"{dot}"
2 0@120 x Z"{dot}"
TR
1 0@60 g"$BODY$ tt"
TP
1<2 p"dot"
PT
1>1 p"dot"
'
VOSHOME=$work/alt ac "a procedure box without PAR_PRE" 1 "PAR_PRE and/or PAR_POST not specified !" \
    "-Pproc p(val y : {1..2})" -g1..2 -u decl.prj -o g.hl_net
templates initvar_box.hl_net 'VOS
HLNet
FORMAT_M
'
VOSHOME=$work/alt ac "a template that does not read" 10 "ERROR: syntax error in file" decl.prj -o v.hl_net
# flatnet expands the procedure boxes: every transition of an increment
# once per instance identifier, twice as often as without identifiers.
ac "no procedure box" 0 "Variables 'x and a were united by synchronisation !" decl.prj -o plain.hl_net -r plain.pfa_hl_ref
check "flatnet without a procedure box" 0 "" -- flatnet plain.hl_net
increments=$(grep -c "b\"<x' = 'x + 1>\"" plain.ll_net)
[ "$increments" -gt 0 ] || fail "flatnet without a procedure box: no increments"
for u in -u -u1 -u2; do
    ac "procedure box $u" 0 "Variables 'x and a were united by synchronisation !" -g1..2 $u decl.prj -o g.hl_net -r g.pfa_hl_ref
    grep -q 'i"^decl!call(proc)"' g.hl_net || fail "procedure box $u: the call action"
    check "flatnet on the procedure box $u" 0 "" -- flatnet g.hl_net
    [ "$(grep -c "b\"<x' = 'x + 1>\"" g.ll_net)" = $((2 * increments)) ] ||
        fail "procedure box $u: $(grep -c "b\"<x' = 'x + 1>\"" g.ll_net) increments, expected $((2 * increments))"
done

# Reference 65536: 65535 states and the automaton take 65536 numbers.
{
    printf 'VOS\nFiniteAutomaton\nFORMAT_N2\nPL\n'
    for i in $(seq 1 65535); do echo "$i 0@0 2 \"s\""; done
    printf 'AR\nTX\n"B(PN)2"\n""\n'
} > big.pfa
printf 'VOS\nPROJECT_vosPFA\nVAR\nFA\nbig.pfa\n' > big.prj
ac "too many references" 1 "Overflow: too many references !" big.prj

finish "autocast fragment and template"
