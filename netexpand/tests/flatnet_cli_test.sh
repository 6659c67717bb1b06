#!/bin/bash
# Command-line tests of flatnet: file names, messages, exit codes and the
# switches of the environment.
set -u
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/fixtures
source "$here/../../testsupport/cli_check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unset FLATNET_BLOCKS FLATNET_PHANTOM

fresh() {
    rm -rf run && mkdir run && cd run
}

# ---- usage: exit 1 ---------------------------------------------------------------
fresh
check "no arguments" 1 "Usage: flatnet [options] <HLnetfile> [LLnetfile] [FileOptions]" -- flatnet
grep -qF "flatnet -- Unfold high level net into the corresponding low level net." err.txt || fail "usage title"
grep -qF "Version 1.2.4 of 26.09.2001" err.txt || fail "usage version line"
check "a third file word" 1 "Usage:" -- flatnet a.hl_net b.ll_net c
check "positional after a file option" 1 "Usage:" -- flatnet -hl x.ref a.hl_net
check "file option without its name" 1 "Usage:" -- flatnet a.hl_net -hl
check "options only" 1 "Usage:" -- flatnet - -b -p
long=$(printf 'n%.0s' $(seq 1 80))
check "word of 80 characters" 1 "Error: file name '$long' is too long" -- flatnet "$long"
stem=$(printf 'n%.0s' $(seq 1 68))
check "stem too long for the extensions" 1 "is too long" -- flatnet "$stem.x"
cd ..

# ---- names derived from the high-level net ----------------------------------------
fresh
cp "$fixtures/net.hl_net" "$fixtures/net.bpn2_hl_ref" .
check "references of one front end" 0 "" -- flatnet net.hl_net
exists net.ll_net net.hl_ll_ref net.bpn2_ll_ref
absent net.pfa_ll_ref net.sdl_ll_ref net.if_ll_ref
cd ..

fresh
cp "$fixtures/net.hl_net" "$fixtures/net.bpn2_hl_ref" .
cp "$fixtures/net.bpn2_hl_ref" net.pfa_hl_ref
sed -i 's/BPN2/PFA/' net.pfa_hl_ref
check "outputs after the low-level net" 0 "" -- flatnet net.hl_net out.ll_net
exists out.ll_net out.hl_ll_ref out.bpn2_ll_ref out.pfa_ll_ref
absent net.ll_net net.hl_ll_ref net.bpn2_ll_ref
grep -qx "References_PFA_LL" out.pfa_ll_ref || fail "PFA low-level reference identifier"
cd ..

fresh
cp "$fixtures/net.hl_net" plain
check "no warning needed: none found" 0 \
    "Warning: none of plain.bpn2_hl_ref, plain.pfa_hl_ref, plain.sdl_hl_ref, plain.if_hl_ref found" -- flatnet plain
exists plain.ll_net plain.hl_ll_ref
mkdir -p sub.dir && cp "$fixtures/net.hl_net" sub.dir/net
check "a dot in the directory only" 0 "Warning: none of sub.dir/net.bpn2_hl_ref," -- flatnet sub.dir/net
exists sub.dir/net.ll_net sub.dir/net.hl_ll_ref
cp "$fixtures/net.hl_net" "trailing."
check "a trailing dot" 0 "Warning: none of trailing.bpn2_hl_ref," -- flatnet trailing. -hl named.ref
exists trailing.ll_net named.ref
absent trailing.hl_ll_ref
cd ..

fresh
cp "$fixtures/net.hl_net" .
mkdir refs && cp "$fixtures/net.bpn2_hl_ref" refs/alt
check "file options after the positional words" 0 "" -- flatnet net.hl_net low.ll_net -bh refs/alt -bl refs/out -hl map
exists low.ll_net map refs/out
absent low.hl_ll_ref low.bpn2_ll_ref
cd ..

# ---- failures: exit 10 and 2 ------------------------------------------------------
fresh
cp "$fixtures/net.hl_net" .
sed 's/References_BPN2_HL/References_PFA_HL/' "$fixtures/net.bpn2_hl_ref" > net.if_hl_ref
check "wrong reference identifier" 10 \
    "ERROR: syntax error in file 'net.if_hl_ref', line 3: format identifier \`References_IF_HL' expected." -- flatnet net.hl_net
check "unopenable high-level net" 10 \
    "ERROR: syntax error in file 'nosuch.hl_net', line 1: could not open file for reading." -- flatnet nosuch.hl_net
rm net.if_hl_ref
check "unwritable output" 10 "Could not open file for writing." -- flatnet net.hl_net nodir/out.ll_net
if [ -w /dev/full ]; then
    check "write error" 10 "ERROR: could not write file '/dev/full'." -- flatnet net.hl_net /dev/full
fi
printf 'VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\n1 0@0\nTR\nTP\nPT\n' > dup.hl_net
check "a node number twice" 10 "line 6: place identifier 1 used twice." -- flatnet dup.hl_net
cd ..

# An output naming an input, in any spelling, is refused before anything is
# written; a later output that cannot be created leaves no earlier one, new
# or replaced.
fresh
cp "$fixtures/net.hl_net" "$fixtures/net.bpn2_hl_ref" .
cp net.hl_net net.orig
cp net.bpn2_hl_ref ref.orig
ln -s net.hl_net link
while IFS='|' read -r name output args; do
    check "$name" 10 "ERROR: output file '$output' would replace the input" -- flatnet $args
    cmp -s net.hl_net net.orig || fail "$name: the high-level net changed"
    cmp -s net.bpn2_hl_ref ref.orig || fail "$name: the references changed"
    absent net.ll_net net.hl_ll_ref net.bpn2_ll_ref x.ll_net x.hl_ll_ref
done <<'CASES'
low-level net named like the input|net.hl_net|net.hl_net net.hl_net
low-level net as ./ spelling|./net.hl_net|net.hl_net ./net.hl_net
HL->LL references naming the front-end file|net.bpn2_hl_ref|net.hl_net x.ll_net -hl net.bpn2_hl_ref
BPN2->LL references through a link|link|net.hl_net x.ll_net -bl link
CASES
check "unwritable second output" 10 "Could not open file for writing." -- flatnet net.hl_net out -bl nodir/r
absent out.ll_net out.hl_ll_ref
echo earlier > out.hl_ll_ref
check "unwritable second output, earlier file" 10 "Could not open file for writing." -- flatnet net.hl_net out -bl nodir/r
[ "$(cat out.hl_ll_ref)" = earlier ] || fail "the earlier reference file was replaced"
absent out.ll_net
[ -z "$(ls -A | grep '^\.')" ] || fail "staged files left: $(ls -A | grep '^\.')"
cd ..

# ---- blocks and phantoms from the environment -------------------------------------
fresh
cp "$fixtures/net.hl_net" "$fixtures/net.bpn2_hl_ref" .
FLATNET_PHANTOM= check "FLATNET_PHANTOM" 0 "" -- flatnet net.hl_net
grep -qx "PTR" net.ll_net || fail "FLATNET_PHANTOM writes phantoms"
grep -qx "FORMAT_N2" net.hl_ll_ref || fail "FLATNET_PHANTOM: FORMAT_N2 in the map"
FLATNET_PHANTOM=1 check "FLATNET_PHANTOM and -np" 0 "" -- flatnet -np net.hl_net
grep -qx "PTR" net.ll_net && fail "-np overrides FLATNET_PHANTOM"
grep -q 'SP"' net.ll_net && fail "-np: no partner lists"
grep -qx "FORMAT_N" net.ll_net || fail "-np: FORMAT_N"
FLATNET_BLOCKS=yes check "FLATNET_BLOCKS" 0 "" -- flatnet net.hl_net
grep -qx "BL" net.ll_net || fail "FLATNET_BLOCKS writes blocks"
grep -qx "FORMAT_N" net.hl_ll_ref || fail "blocks alone leave the map at FORMAT_N"
grep -qx "FORMAT_N2" net.bpn2_ll_ref || fail "blocks make the front end's file FORMAT_N2"
FLATNET_BLOCKS=yes check "FLATNET_BLOCKS and -nb" 0 "" -- flatnet -nb net.hl_net
grep -qx "BL" net.ll_net && fail "-nb overrides FLATNET_BLOCKS"
# The expansion of the fixture reads in trelmik, with and without phantoms.
# The fixture is not 1-safe (t1 adds a value to x without taking one), so
# trelmik reads the whole net and then stops at the second token on x=0.
if command -v trelmik >/dev/null; then
    for opts in "" "-p -b"; do
        flatnet $opts net.hl_net >/dev/null 2>&1
        ASAN_OPTIONS=detect_leaks=0 trelmik -c -m=net net.ll_net >out.txt 2>&1
        rc=$?
        [ $rc = 101 ] && grep -qF "not 1-safe in place 'P2'" out.txt ||
            fail "trelmik reads the net ($opts): exit $rc, $(cat out.txt)"
    done
fi
cd ..

finish "flatnet command-line"
