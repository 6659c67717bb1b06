#!/bin/bash
# The demo's modelling road works its plain-words verdict out from the
# checkers' answers: a program that gets stuck, one whose every run ends, and
# one that runs forever each get their own sentence.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# verdict PROGRAM_FILE EXPECTED_SENTENCE
verdict() {
    local out
    out=$(bash "$VOS_SRC/examples/demo.sh" "$VOS_BIN" "$1" 2>&1)
    local code=$?
    local last
    last=$(tail -n 1 <<<"$out")
    if [ "$code" -ne 0 ] || [ "$last" != "$2" ]; then
        echo "FAIL: $(basename "$1"): exit $code, last line '$last', expected '$2'"
        echo "$out" | tail -n 20
        failures=$((failures + 1))
    fi
}

# Each process first waits for the other's value: stuck at once.
verdict "$VOS_SRC/examples/exchange.b" \
    "Verdict: exchange.b can get stuck: a run stops before the end of the program."

# One process sends first: both finish.
cat > "$work/ends.b" <<'B'
begin
  var a, b : chan 0 of {0..1};
  var x, y : {0..1} init 0;
  begin
    <x' = a?>; <b! = x>
  end
  ||
  begin
    <a! = y>; <y' = b?>
  end
end
B
verdict "$work/ends.b" \
    "Verdict: every run of ends.b ends: the program cannot get stuck and cannot run forever."

# A loop without exit: never stuck, never ends.
cat > "$work/forever.b" <<'B'
begin
  var x : {0..1} init 0;
  do <x' = 1 - 'x>; repeat od
end
B
verdict "$work/forever.b" "Verdict: forever.b runs forever without getting stuck."

# A loop that may be left: it can end and it can go on.  Named relative to
# the directory the demo starts in.
cat > "$work/either.b" <<'B'
begin
  var x : {0..1} init 0;
  do <x' = 1 - 'x>; repeat [] <x' = 'x>; exit od
end
B
cd "$work" || exit 1
verdict either.b "Verdict: either.b cannot get stuck: a run either ends or goes on forever."

[ "$failures" -eq 0 ] || exit 1
