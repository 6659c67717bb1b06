#!/bin/bash
# The main road on an example net: trelmik computes the finite complete prefix
# of three dining philosophers, dlbacktrack checks it for a deadlock.
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
"$bin/dlbacktrack" philosophers.mci
code=$?
set -e
echo "(dlbacktrack exit code $code)"
