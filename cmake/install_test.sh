#!/bin/bash
# Installs the build into a fresh prefix and runs both roads from that prefix
# alone: the programs from P/bin only (the build tree is not on PATH),
# VOSHOME=P and TULMPATH=P/share/tulm, as the README says.
#   install_test.sh <build dir> <source dir>
set -u
build=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 \
    || { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

for prog in trelmik dlbacktrack cosweep velcheck vorga progcast statecast autocast flatnet \
            tulc cyrtal movrane pelwick gphdump tulmbuild; do
    [ -x "$prefix/bin/$prog" ] || fail "$prog is not installed"
done

export PATH="$prefix/bin:/usr/bin:/bin"
export VOSHOME="$prefix"
export TULMPATH="$prefix/share/tulm"
mkdir "$work/run" && cd "$work/run" || exit 1

# The modelling road.
cp "$src/examples/exchange.b" .
{ progcast exchange.b -p=exchange.hl_net -z=exchange.bpn2_hl_ref &&
  flatnet exchange.hl_net &&
  trelmik -m=exchange exchange.ll_net &&
  dlbacktrack exchange.mci; } > road.txt 2>&1 || fail "modelling road: $(tail -5 road.txt)"
grep -qx FALSE road.txt || fail "modelling road: no FALSE verdict: $(tail -5 road.txt)"

# The analyser road: a net description compiled, built and run from the
# installation.
cp "$src/analyser/engine/tests/nets/counter.net" .
tulmbuild counter > build.txt 2>&1 || fail "tulmbuild: $(tail -5 build.txt)"
if [ -x counter ]; then
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" ./counter counter > analyser.txt 2>&1 \
        || fail "the analyser: $(tail -5 analyser.txt)"
    gphdump counter > dump.txt 2>&1 || fail "gphdump: $(tail -5 dump.txt)"
    [ "$(grep -c . dump.txt)" -gt 0 ] || fail "gphdump printed nothing"
fi
# The usage text comes from the installed cfg directory.
tulc > usage.txt 2>&1
[ -s usage.txt ] || fail "tulc printed no usage text"

[ "$failures" -eq 0 ]
