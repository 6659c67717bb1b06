#!/bin/bash
# Command-line tests of statecast's translation: the templates it loads
# and their variants, and the diagnostics of the translation.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../testsupport/cli_check.sh"
export VOSHOME="$VOS_SRC/frontends/templates"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"


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

finish "statecast translation"
