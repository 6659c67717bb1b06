#!/bin/bash
# Command-line tests of statecast: messages and exit codes, the files it
# writes and the files it reads.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../testsupport/cli_check.sh"
export VOSHOME="$VOS_SRC/frontends/templates"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

exists() { for f; do [ -f "$f" ] || fail "$f was not written"; done; }
absent() { for f; do [ -e "$f" ] && fail "$f should not exist"; done; }

cat > spec.if <<'EOF'
system S;
  signal a();
  process P(1);
    state s #start;
      output a() to {P}0;
      nextstate s;
    endstate;
  endprocess;
endsystem;
EOF

# ---- usage and flags: exit 1 ----------------------------------------------------
check "unknown flag" 1 "unknown flag: 'Q'" -- statecast -Q spec.if
check "no input" 1 "Usage: statecast [options] <sdlfile> [FileOptions]" -- statecast
grep -qx "Version 0.1.1 (11.10.2001)" err.txt || fail "version line"
check "two inputs" 1 "Usage:" -- statecast spec.if other.if
check "-D without a number" 1 "Usage:" -- statecast -DCx spec.if
check "-B without a digit" 1 "Usage:" -- statecast -BS spec.if
check "-O at the end of a word" 1 "Usage:" -- statecast -O spec.if
check "output named like the input" 1 "would replace the input" -- statecast spec.if -o spec.if
check "reference file named like the input" 1 "would replace the input" -- statecast spec.if -r ./spec.if
check "two outputs named alike" 1 "Error: output files x.net and ./x.net are the same file!" -- statecast spec.if -o x.net -r ./x.net
absent x.net

# ---- inputs ----------------------------------------------------------------------
check "missing input" 2 "Error: Could not open file none.if!" -- statecast none.if
mkdir adir
check "a directory as input" 2 "Error: Could not open file adir!" -- statecast adir
printf 'system S; const n = 3; var n t; endsystem;\n' > hidden.if
check "constant hides a variable name" 3 "Parser indicated errors; aborting" -- statecast hidden.if
grep -qF "parse error" err.txt || fail "the syntax error is reported"
absent hidden.hl_net hidden.if_info
printf 'system S; const n = 32764; endsystem;\n' > big.if
check "constant out of range" 1 "Constant out of range!" -- statecast big.if
printf 'system S; const n = 99999999999999999999; endsystem;\n' > bigger.if
check "long number" 1 "Constant out of range!" -- statecast bigger.if
printf 'system S; process P(2); state s #start; stop; endstate; endprocess; endsystem;\n' > two.if
printf 'VOS\nIF_Properties\nFORMAT_N\nP.instances = 1\n' > two.if_prop
check "more initial instances than the maximum" 3 "initial number larger than maximum" -- statecast two.if

printf 'system S; process P(1); state s #start; stop; endstate; endprocess; endsystem;\n' > many.if
printf 'VOS\nIF_Properties\nFORMAT_N\nP.instances = 40000\n' > many.if_prop
check "more pids than values" 1 "too many pids: 40000 (at most 32763)" -- statecast many.if
printf 'system S; type t = range 0..99; signal m(t, t, t);\n process P(1); state s #start; stop; endstate; endprocess; endsystem;\n' > signals.if
check "more signal instances than values" 1 "too many signal instances: 1000000 (at most 32763)" -- statecast signals.if
absent signals.hl_net

# ---- templates -------------------------------------------------------------------
check "VOSHOME unset" 1 "Environment variable \$VOSHOME must be set !" -- env -u VOSHOME statecast spec.if
check "missing template" 4 "could not open file" -- statecast -BP3 spec.if
grep -qF "process_3.hl_net" err.txt || fail "the missing template is named: $(cat err.txt)"
printf 'VOS\nIF_Properties\nFORMAT_N\nP.version = 0\n' > spec.if_prop
check "a version property overrides -BP" 0 "" -- statecast -BP3 spec.if
rm spec.if_prop
# the route templates by delay kind and casting, seen through a variant that does not exist
for route in "#multicast:sigroute_um_5" "#delay[1,2] #unicast:sigroute_du_5" "#rate[1,2]:sigroute_dp_5" \
             "#unicast:sigroute_uu_5" "#delay[0,0] #multicast:sigroute_dm_5" ":sigroute_up_5"; do
    printf 'system S; signal a(); process P(1); state s #start; stop; endstate; endprocess;\n signalroute r(1) %s from P to P with a; endsystem;\n' "${route%%:*}" > route.if
    check "route template ${route#*:}" 4 "${route#*:}.hl_net" -- statecast -BS5 route.if
done
# template variants: a process or route with its own version loads that
# file, and the next one with the default version the default file again
mkdir -p variants/lib/statecastnet/nets
cp "$VOSHOME"/lib/statecastnet/nets/*.hl_net variants/lib/statecastnet/nets/
sed 's/b"\$NAME\$.free"/b"$NAME$.free3"/' variants/lib/statecastnet/nets/process_0.hl_net > variants/lib/statecastnet/nets/process_3.hl_net
sed 's/b"\$NAME\$.free"/b"$NAME$.free7"/' variants/lib/statecastnet/nets/sigroute_up_0.hl_net > variants/lib/statecastnet/nets/sigroute_up_7.hl_net
printf 'system S; signal a();\n process P(1); state s #start; stop; endstate; endprocess;\n process Q(1); state s #start; stop; endstate; endprocess;\n process R(1); state s #start; stop; endstate; endprocess;\n signalroute r1(1) from P to Q with a;\n signalroute r2(1) from P to Q with a;\nendsystem;\n' > variant.if
printf 'VOS\nIF_Properties\nFORMAT_N\nQ.version = 3\nr1.version = 7\n' > variant.if_prop
check "template variants by object" 0 "" -- env VOSHOME="$work/variants" statecast variant.if
[ "$(grep -o 'b"[A-Za-z0-9]*\.free[0-9]*"' variant.hl_net | LC_ALL=C sort | tr '\n' ' ')" = 'b"P.free" b"Q.free3" b"R.free" b"r1.free7" b"r2.free" ' ] ||
    fail "template variants: $(grep -o 'b"[A-Za-z0-9]*\.free[0-9]*"' variant.hl_net | tr '\n' ' ')"
mkdir -p broken/lib/statecastnet/nets
cp "$VOSHOME"/lib/statecastnet/nets/*.hl_net broken/lib/statecastnet/nets/
sed -i 's/ g"\$PAR_PRE\$ tt"//' broken/lib/statecastnet/nets/prcsterm.hl_net
check "template without its mark" 1 "missing mark in template net prcsterm.hl_net" -- env VOSHOME="$work/broken" statecast spec.if
rm -f spec.hl_net
printf 'VOS\nHLNet\nFORMAT_N\nPL\n1 0@0 q"x"\n' > broken/lib/statecastnet/nets/init.hl_net
check "template that does not read" 10 "init.hl_net', line 5" -- env VOSHOME="$work/broken" statecast spec.if
absent spec.hl_net

# ---- outputs ---------------------------------------------------------------------
rm -f spec.hl_net spec.if_hl_ref spec.if_info
check "default names" 0 "" -- statecast spec.if
exists spec.hl_net spec.if_hl_ref spec.if_info
grep -qF "Parsing program spec.if ..." out.txt || fail "parsing message"
grep -qF "Writing in file spec.hl_net ..." out.txt || fail "net message"
grep -qF "Writing references to spec.if_hl_ref" out.txt || fail "reference message"
grep -qF "Writing state information to spec.if_info" out.txt || fail "information message"
head -2 spec.if_hl_ref | tail -1 | grep -qx "References_IF_HL" || fail "reference identifier"
check "names after -o" 0 "" -- statecast spec.if -o out.net
exists out.net out.if_hl_ref out.if_info
check "explicit reference and information files" 0 "" -- statecast spec.if -r my.ref -i my.info
exists my.ref my.info
mkdir -p sub.dir
cp spec.if sub.dir/plain
check "a dotted directory" 0 "" -- statecast sub.dir/plain
exists sub.dir/plain.hl_net sub.dir/plain.if_hl_ref sub.dir/plain.if_info
check "unwritable net file" 3 "Error: Could not open file nodir/x.hl_net !" -- statecast spec.if -o nodir/x.hl_net

# ---- properties ------------------------------------------------------------------
check "explicit properties file missing" 0 "could not find properties in file none.prop" -- statecast spec.if -p none.prop
printf 'VOS\nIF_Properties\nFORMAT_N2\nP.capacity = 2\n' > spec.if_prop
check "properties read" 0 "" -- statecast spec.if
grep -qF "Reading properties from spec.if_prop" out.txt || fail "properties message"
printf 'SOV\n' > spec.if_prop
check "properties without VOS" 1 "keyword 'VOS' expected" -- statecast spec.if
printf 'VOS\nIF_Props\n' > spec.if_prop
check "properties with another identifier" 1 "format identifier 'IF_Properties' expected" -- statecast spec.if
printf 'VOS\nIF_Properties\nFORMAT_X\n' > spec.if_prop
check "properties without FORMAT_N" 1 "keyword 'FORMAT_N' or 'FORMAT_N2' expected" -- statecast spec.if
printf 'VOS\nIF_Properties\nFORMAT_N\nP.capacity 2\n' > spec.if_prop
check "property without =" 1 "'=' expected" -- statecast spec.if
rm spec.if_prop

# ---- the translation's diagnostics -----------------------------------------------
cat > diag.if <<'EOF'
system S;
  signal a();
  var c clock;
  procedure pr; endprocedure;
  process P(1);
    state s #start;
      deadline eager;
      input a();
      nextstate s;
    endstate;
  endprocess;
  signalroute r(1) from env to P with a;
endsystem;
EOF
check "warnings" 0 "warning: ignoring clock variable c" -- statecast -E diag.if
grep -qF "procedure pr will be ignored" err.txt || fail "procedure warning"
grep -qF "deadline mode eager is not supported; using lazy mode" err.txt || fail "deadline warning"
grep -qF "detected input from environment via signalroute r" err.txt || fail "environment message"
cat > ignored.if <<'EOF'
system S;
  signal a();
  process P(1);
    var c clock;
    state s #start;
      tpc c < 1
      save a
      deadline delayable;
      when c > 2;
      reset c;
      nextstate s;
      state n;
        nextstate s;
      endstate;
    endstate;
  endprocess;
  signalroute o(1) from P to env with a;
endsystem;
EOF
check "ignored constructs" 0 "reset statement not supported; will ignore" -- statecast -E ignored.if
for w in "temporal constraint ignored in state s" "save set ignored in state s" \
         "temporal constraint ignored in state n" "save set ignored in state n" \
         "deadline mode delayable is not supported; using lazy mode" "\`when' clauses are not supported; ignored" \
         "detected output to environment via action symbol S@a"; do
    grep -qF "$w" err.txt || fail "no '$w'"
done
# create requests and via/to clauses the translation refuses (exit 1)
for c in "x := fork r(1);|create request on r: not a process" \
         "x := fork env(1);|create request on env: not a process" \
         "x := fork Q(1);|too many arguments in create request for process Q" \
         "x := fork P(true);|argument type mismatch in create request for process P" \
         "output a() via {S}0;|undefined name S in via clause" \
         "output a() to {S}0;|undefined name S in to clause"; do
    printf 'system S;\n type t = range 0..1;\n signal a();\n process P(1);\n  fpar p t;\n  var x pid;\n  state s #start;\n   %s\n   nextstate s;\n  endstate;\n endprocess;\n process Q(1); state q #start; stop; endstate; endprocess;\n signalroute r(1) from P to Q with a;\nendsystem;\n' "${c%%|*}" > refused.if
    check "refused: ${c%%|*}" 1 "${c#*|}" -- statecast refused.if
    absent refused.hl_net
done
printf 'system S; signal a(); endsystem;\n' > empty.if
check "no process part" 1 "has no process part" -- statecast empty.if
absent empty.hl_net

finish statecast
