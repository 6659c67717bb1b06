#!/bin/bash
# Command-line tests of autocast: the files of the by-hand project, the
# usage and the options, and the messages of the project and automaton
# files.
set -u
source "$(dirname "$0")/cli_common.sh"

# ---- the by-hand project -------------------------------------------------------------
ac "by hand" 0 "" t.prj -o t.hl_net -r t.pfa_hl_ref
cat > want.ref <<'REF'
VOS
References_PFA_HL
FORMAT_N2
DEF
1 "1"Kb"idle"
2 "2"Kb"busy"
3 "3"Kb"done"
4 "1"Ab"<true>"
5 "2"Ab"<true>"
6 "3"Ab"<true>"
7 "1"E"0"b"a.pfa"
PL
P1 T"7:1"
P2 T"7:2"
P3 T"1:0*4:1*6:2"
P4 T"2:0*4:2*5:1"
P5 T"3:0*5:2*6:1"
TR
T3 T"4:0"
T4 T"5:0"
T5 T"6:0"
REF
cmp -s want.ref t.pfa_hl_ref || fail "by hand: reference file: $(diff want.ref t.pfa_hl_ref)"
grep -qx 'Writing references to file t.pfa_hl_ref...' out.txt || fail "by hand: announcement of the references"
# Places 1 (entry) and 2 (exit), P1 -> T1 -> P3 -> T3 -> P4 -> T4 -> P5 -> T5 -> P3, P5 -> T2 -> P2.
[ "$(sed -n '/^PL$/,/^TR$/p' t.hl_net | grep -c '^[0-9]')" = 5 ] || fail "by hand: five places"
grep -q '^1 [0-9]*@[0-9]*ez' t.hl_net || fail "by hand: place 1 is the entry"
grep -q '^2 [0-9]*@[0-9]*xZ' t.hl_net || fail "by hand: place 2 is the exit"
[ "$(sed -n '/^TP$/,$p' t.hl_net | grep -o '^[0-9]*[<>][0-9]*' | tr '\n' ' ')" = \
  "1<3 2<2 3<4 4<5 5<3 1>1 5>2 3>3 4>4 5>5 " ] || fail "by hand: arcs: $(sed -n '/^TP$/,$p' t.hl_net)"
ac "blocks" 0 "" -b t.prj -o b.hl_net -r b.pfa_hl_ref
[ "$(sed -n '/^BL$/,/^PL$/p' b.pfa_hl_ref)" = "$(printf 'BL\nB1 T"7:0"\nPL')" ] || fail "-b: BL section"
grep -qx PTR b.pfa_hl_ref && fail "without -p: no PTR section"
ac "phantoms" 0 "" -p t.prj -o p.hl_net -r p.pfa_hl_ref
grep -qx PTR p.pfa_hl_ref || fail "-p: PTR section"
ac "no init/term places" 0 "" -i t.prj -o i.hl_net
[ "$(sed -n '/^PL$/,/^TR$/p' i.hl_net | grep -c '^[0-9]')" = 3 ] || fail "-i: three places"
[ "$(sed -n '/^TR$/,/^TP$/p' i.hl_net | grep -c '^[0-9]')" = 3 ] || fail "-i: three transitions"
grep -c 'b"<true>"' i.hl_net | grep -qx 3 || fail "-i: every arc translated"
ac "scale" 0 "" -s2 t.prj -o s.hl_net
grep -q '^3 260@260 ' s.hl_net || fail "-s2 doubles the positions: $(grep '^3 ' s.hl_net)"
ac "no net file" 0 "" t.prj
# An empty word after -o or -r names a file that cannot be opened.
ac "empty net file name" 3 "Error: Could not open file  !" t.prj -o "" -r e.ref
absent e.ref
ac "empty reference file name" 3 "could not open file  for writing" t.prj -o e.net -r ""
ls *.hl_net | grep -qvx -e t.hl_net -e b.hl_net -e p.hl_net -e i.hl_net -e s.hl_net && fail "a net without -o"
# flatnet reads the reference file and copies its definitions.
if command -v flatnet >/dev/null; then
    check "flatnet" 0 "" -- flatnet t.hl_net
    [ "$(sed -n '/^DEF$/,/^PL$/p' t.pfa_ll_ref)" = "$(sed -n '/^DEF$/,/^PL$/p' t.pfa_hl_ref)" ] ||
        fail "flatnet copies the DEF text: $(cat t.pfa_ll_ref)"
fi

# ---- usage and options: exit 1 ------------------------------------------------------
autocast >out.txt 2>err.txt
[ $? = 1 ] || fail "usage: exit code"
printf '\n%s -- translate a set of finite automata into an M-Net\n\nUsage: %s [options] <prjfile> -o <outfile> [-r <reffile>]\n\n     Options:\n      -b        write block information\n      -p        write phantom transitions\n      -i        omit init/term places\n      -s#       give the scale factor\n      -S        suppress scoping\n      -g[#..#]  use BPN procedure semantic with specified idset\n      -u[0,1,2] use either no procedure box, a stack, or a set\n\nThe project file must contain information about global variables\nand the set of parallel finite automata that are to be translated.\nThe resulting high level net is written to outfile.\n\nVersion 0.9.5 (27.04.1998)\n\n' autocast autocast > want.txt
cmp -s want.txt err.txt || fail "usage text: $(diff want.txt err.txt)"
ac "two project files" 1 "Usage: autocast" a.prj b.prj
ac "unknown flag" 1 "unknown flag: 'x'" -x t.prj
ac "-u0" 1 "unknown flag: '0'" -u0 t.prj
ac "-g5 at the end of a word" 1 "Usage: autocast" -g5 t.prj
ac "-g4..3" 1 "Usage: autocast" -g4..3 t.prj
ac "-g1..32764" 1 "Usage: autocast" -g1..32764 t.prj
ac "net and references named alike" 1 "Error: output files x.net and ./x.net are the same file!" t.prj -o x.net -r ./x.net
absent x.net
# An output naming the project or an automaton file, in any spelling, is
# refused before anything is written.
ln -s a.pfa a.link
cp t.prj t.orig
cp a.pfa a.orig
while IFS='|' read -r name args; do
    ac "$name" 1 "would replace the input!" $args
    cmp -s t.prj t.orig || fail "$name: the project changed"
    cmp -s a.pfa a.orig || fail "$name: the automaton changed"
    absent y.hl_net y.ref
done <<'CASES'
net file naming the project|t.prj -o t.prj
net file as ./ spelling of the project|t.prj -o ./t.prj -r y.ref
references naming an automaton|t.prj -o y.hl_net -r a.pfa
net file through a link to an automaton|t.prj -o a.link
CASES
rm a.link t.orig a.orig
# A reference file that cannot be written leaves no net file, new or replaced.
ac "unwritable reference file" 3 "could not open file nodir/f.ref for writing" t.prj -o f.hl_net -r nodir/f.ref
absent f.hl_net
echo earlier > f.hl_net
ac "unwritable reference file, earlier net" 3 "could not open file nodir/f.ref" t.prj -o f.hl_net -r nodir/f.ref
[ "$(cat f.hl_net)" = earlier ] || fail "the earlier net file was replaced"
[ -z "$(ls -A | grep '^\.')" ] || fail "staged files left: $(ls -A | grep '^\.')"
rm f.hl_net

# ---- project and automaton files: exit 1 --------------------------------------------
ac "no project file" 1 "could not open project file nosuch.prj" nosuch.prj
printf 'VOS\nPROJECT_vosPFA\nVARS\nFA\n' > bad.prj
ac "bad project file" 1 "project file: error at line number 3" bad.prj
printf 'VOS\nPROJECT_vosPFA\nVAR\nFA\nnosuch.pfa\n' > missing.prj
ac "no automaton file" 1 "could not open nosuch.pfa" missing.prj
sed 's/1 1>2 /1 1>4 /' a.pfa > bad.pfa
sed 's/a.pfa/bad.pfa/' t.prj > bad_pfa.prj
ac "an arc to a state that does not exist" 1 "error at line number 9 in file bad.pfa" bad_pfa.prj
sed 's/^1 100@100 1/1 12x@100 1/' a.pfa > bad.pfa
ac "a number that is not decimal" 1 "error at line number 5 in file bad.pfa" bad_pfa.prj
sed 's/FORMAT_N2/FORMAT_N/; s/^\([0-9]\) \([0-9]>\)/\2/' a.pfa > old.pfa
sed 's/a.pfa/old.pfa/' t.prj > old.prj
ac "old format" 0 "warning: file old.pfa has old format; references will be bogus." old.prj -o old.hl_net -r old.pfa_hl_ref
grep -qx "please load the project in the PFA editor and save it" err.txt || fail "old format: second line"
grep -c '^[0-9]* "1"A' old.pfa_hl_ref | grep -qx 3 || fail "old format: every arc reference has number 1"
# The warning comes as soon as the format line is read, before an error further on.
sed 's/^1>2 /1>4 /' old.pfa > old_bad.pfa
sed 's/old.pfa/old_bad.pfa/' old.prj > old_bad.prj
ac "old format with an error" 1 "error at line number 9 in file old_bad.pfa" old_bad.prj
grep -q "^warning: file old_bad.pfa has old format" err.txt || fail "old format with an error: the warning: $(cat err.txt)"
# A label whose end lies beyond column 65535 is quoted whole.
awk -v pad="$(printf '%70000s' '')" '/^1 1>2 / {sub(/"<true>"/, "\"<" pad "true>\"")} {print}' a.pfa > wide.pfa
sed 's/a.pfa/wide.pfa/' t.prj > wide.prj
ac "a wide label" 0 "" wide.prj -o wide.hl_net -r wide.pfa_hl_ref
[ "$(sed -n 's/^4 "1"Ab"<\( *\)true>"$/\1/p' wide.pfa_hl_ref | wc -c)" = 70001 ] ||
    fail "a wide label: its source text: $(sed -n '/^4 /p' wide.pfa_hl_ref | cut -c1-80)"
printf 'VOS\nPROJECT_vosPFA\nVAR\nFA\n\n%% none\n' > empty.prj
rm -f empty.hl_net empty.ref
ac "no automaton" 0 "no PFAs specified, nothing to do" empty.prj -o empty.hl_net -r empty.ref
[ -e empty.hl_net ] || [ -e empty.ref ] && fail "no automaton: nothing written"


finish "autocast command-line"
