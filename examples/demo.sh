#!/bin/bash
# The main road on an example net: trelmik computes the finite complete prefix
# of three dining philosophers, dlbacktrack checks it for a deadlock.  Then
# the modelling road: a B(PN)2 program to a verdict.
#
#   demo.sh [bin directory [program.b]]
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
program=${2:-$here/exchange.b}
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/philosophers.ll_net" "$work/"
cd "$work"

echo "== trelmik -t -m=philosophers -u=philosophers philosophers.ll_net"
"$bin/trelmik" -t -m=philosophers -u=philosophers philosophers.ll_net
echo
echo "== dlbacktrack philosophers.mci"
set +e
"$bin/dlbacktrack" philosophers.mci | tee verdict.txt
code=${PIPESTATUS[0]}
set -e
echo "(dlbacktrack exit code $code)"
echo
# The verdict in plain words.
case $(head -n 1 verdict.txt) in
TRUE) echo "TRUE: no deadlock is reachable." ;;
"FALSE - EVERY") echo "FALSE - EVERY: every run of the net ends in a deadlock." ;;
FALSE) printf '%s\n' "FALSE: the net can deadlock.  Firing the events listed above (their transitions" \
              "in parentheses) reaches a marking that enables no transition: here every" \
              "philosopher holds the left fork and waits for the right one." ;;
*) echo "dlbacktrack gave no verdict." ;;
esac

# The modelling road: a B(PN)2 program through progcast, flatnet, trelmik
# and two checkers.  A program can stop in two ways: at its end (only the
# exit places of the expanded net are marked) or stuck before it.  velcheck
# finds any marking that enables nothing, the end included, and says when
# every run stops (the prefix has no cut-off event); vorga -d, given the
# expanded net, counts the end as no deadlock.  Together they tell the cases
# apart.  The program is the second argument (default
# examples/exchange.b).
export VOSHOME="${VOSHOME:-$here/../frontends/templates}"
name=$(basename "$program" .b)
cp "$program" "$work/$name.b"
echo
echo "== progcast $name.b -p=$name.hl_net -z=$name.bpn2_hl_ref"
"$bin/progcast" "$name.b" -p="$name.hl_net" -z="$name.bpn2_hl_ref"
echo "== flatnet $name.hl_net"
"$bin/flatnet" "$name.hl_net"
echo "== trelmik -m=$name $name.ll_net"
"$bin/trelmik" -m="$name" "$name.ll_net" > /dev/null
echo "== velcheck $name.mci"
set +e
dead=$("$bin/velcheck" "$name.mci")
dead_code=$?
set -e
echo "$dead"
echo "== vorga -d $name.ll_net $name.mci"
set +e
stuck=$("$bin/vorga" -d "$name.ll_net" "$name.mci")
stuck_code=$?
set -e
echo "$stuck"
if [ "$dead_code" -ne 0 ] || [ "$stuck_code" -ne 0 ]; then
  echo "Verdict: none; a checker failed (velcheck exit code $dead_code, vorga exit code $stuck_code)."
  exit 1
fi
# velcheck: TRUE no reachable marking is dead; FALSE some is; "FALSE - EVERY"
# the prefix has no cut-off, so every run is finite and ends in a dead
# marking.
# vorga -d: "has a deadlock" a dead marking other than the end is reachable.
case $(head -n 1 <<<"$dead") in
TRUE) dead=none ;;
"FALSE - EVERY") dead=every ;;
FALSE) dead=some ;;
*) echo "Verdict: none; velcheck gave no verdict."; exit 1 ;;
esac
if grep -q "the system has a deadlock" <<<"$stuck"; then
  stuck=yes
elif grep -q "the system is deadlock-free" <<<"$stuck"; then
  stuck=no
else
  echo "Verdict: none; vorga gave no verdict."; exit 1
fi
case $stuck/$dead in
yes/none) echo "Verdict: none; the checkers disagree."; exit 1 ;;
yes/*) echo "Verdict: $name.b can get stuck: a run stops before the end of the program." ;;
no/every) echo "Verdict: every run of $name.b ends: the program cannot get stuck and cannot run forever." ;;
no/some) echo "Verdict: $name.b cannot get stuck: a run either ends or goes on forever." ;;
no/none) echo "Verdict: $name.b runs forever without getting stuck." ;;
esac
