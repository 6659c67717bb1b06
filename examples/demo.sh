#!/bin/bash
# The main road on an example net: trelmik computes the finite complete prefix
# of three dining philosophers, dlbacktrack checks it for a deadlock.  Then
# the modelling road: a B(PN)2 program to a verdict.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
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
# and dlbacktrack.
export VOSHOME="${VOSHOME:-$here/../frontends/templates}"
cp "$here/exchange.b" "$work/"
echo
echo "== progcast exchange.b -p=exchange.hl_net -z=exchange.bpn2_hl_ref"
"$bin/progcast" exchange.b -p=exchange.hl_net -z=exchange.bpn2_hl_ref
echo "== flatnet exchange.hl_net"
"$bin/flatnet" exchange.hl_net
echo "== trelmik -m=exchange exchange.ll_net"
"$bin/trelmik" -m=exchange exchange.ll_net > /dev/null
echo "== dlbacktrack exchange.mci"
set +e
verdict=$("$bin/dlbacktrack" exchange.mci)
set -e
echo "$verdict"
if grep -q FALSE <<<"$verdict"; then
  echo "Verdict: exchange.b can stop before its end: each process waits for the other's value."
else
  echo "Verdict: exchange.b cannot get stuck."
fi
