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
# An output naming the specification or its properties file, in any
# spelling, is refused before anything is written.
ln -s spec.if spec.link
cp spec.if spec.orig
printf 'VOS\nIF_Properties\nFORMAT_N\n' > props.prop
cp props.prop props.orig
ln -s props.prop props.link
while IFS='|' read -r name args; do
    check "$name" 1 "would replace the input!" -- statecast $args
    cmp -s spec.if spec.orig || fail "$name: the specification changed"
    cmp -s props.prop props.orig || fail "$name: the properties changed"
    absent out.hl_net out.if_hl_ref out.if_info
done <<'CASES'
net file through a link|spec.if -o spec.link
information file as ./ spelling|spec.if -o out.hl_net -i ./spec.if
reference file naming the properties|spec.if -p props.prop -o out.hl_net -r props.prop
net file naming the properties through a link|spec.if -p props.prop -o props.link
CASES
rm spec.link spec.orig props.prop props.orig props.link

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
# The reference texts are the slices of the text that was parsed, also when
# the input is a pipe, which has nothing left to read a second time.
cat spec.if | statecast /dev/stdin -o piped.hl_net >out.txt 2>err.txt || fail "input from a pipe: exit $?"
grep -qx '[0-9]* R"(5,7;5,25)"Ab"output a() to {P}0;"' piped.if_hl_ref ||
    fail "input from a pipe: the output's text: $(grep -F '(5,7;5,25)' piped.if_hl_ref)"
exists my.ref my.info
mkdir -p sub.dir
cp spec.if sub.dir/plain
check "a dotted directory" 0 "" -- statecast sub.dir/plain
exists sub.dir/plain.hl_net sub.dir/plain.if_hl_ref sub.dir/plain.if_info
check "unwritable net file" 3 "Error: Could not open file nodir/x.hl_net !" -- statecast spec.if -o nodir/x.hl_net
# An empty word after a file option names a file that cannot be opened; the
# side files are not written after a net that could not be.
rm -f .if_hl_ref .if_info
while IFS='|' read -r option code message; do
    check "empty name after $option" "$code" "$message" -- statecast spec.if "$option" ""
done <<'CASES'
-o|3|Error: Could not open file  !
-r|1|could not open file  for writing
-i|1|could not open file  for writing
CASES
absent .if_hl_ref .if_info
# A later output that cannot be written leaves no earlier one: neither a new
# file nor a replaced one, nor a staged file beside it.
check "unwritable reference file" 1 "could not open file nodir/f.ref for writing" -- statecast spec.if -o f.hl_net -r nodir/f.ref
absent f.hl_net f.if_info
echo earlier > f.hl_net
check "unwritable information file" 1 "could not open file nodir/f.info for writing" -- statecast spec.if -o f.hl_net -i nodir/f.info
[ "$(cat f.hl_net)" = earlier ] || fail "the earlier net file was replaced"
absent f.if_hl_ref f.if_info
[ -z "$(ls -A | grep '^\.')" ] || fail "staged files left: $(ls -A | grep '^\.')"
rm f.hl_net

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

finish statecast
