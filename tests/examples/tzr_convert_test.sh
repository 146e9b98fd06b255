#!/usr/bin/env bash
# tzr-convert on the command line: its options, its refusals and its warnings.
#   tests/examples/tzr_convert_test.sh PATH-TO-tzr-convert
set -uo pipefail
convert="$(realpath "${1:?usage: tzr_convert_test.sh TZR-CONVERT}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

passed=0
failed=0
check() {  # check NAME CONDITION...
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    echo "  stdout: $(head -c 400 out.txt 2>/dev/null)"
    echo "  stderr: $(head -c 400 err.txt 2>/dev/null)"
  fi
}
run() { "$convert" "$@" >out.txt 2>err.txt; echo $? >rc.txt; }
rc_is() { [ "$(cat rc.txt)" = "$1" ]; }
out_has() { grep -qF -- "$1" out.txt; }
out_lacks() { ! grep -qF -- "$1" out.txt; }
err_has() { grep -qF -- "$1" err.txt; }
err_empty() { [ ! -s err.txt ]; }

printf 'Title: Notes\n\nSee {{part.md}}: {++added++} {--removed--} "quoted"[^n].\n\n[^n]: A note.\n' >doc.md
printf 'the *included* part' >part.md
mkdir -p other
printf 'the other part' >other/part.md

# Help is an answer, not a refusal, and names every option.
run --help
check "help succeeds" rc_is 0
for option in --format --output --assets --extensions --complete --snippet --compatibility \
    --no-smart --no-notes --no-labels --no-metadata --critic --accept --reject \
    --random-footnotes --transclude --help; do
  check "help names $option" out_has "$option"
done
run -h
check "-h succeeds" rc_is 0

# Malformed values are refused with a reason and exit status 2.
for bad in foo 0x12z "" -1 " 12" 99999999999999999999999; do
  run -x "$bad" doc.md
  check "-x '$bad' refused" rc_is 2
  check "-x '$bad' says why" err_has "is not a number of extension flags"
done
run -f 12 doc.md
check "format 12 refused" rc_is 2
run -f htm doc.md
check "format htm refused" err_has "unknown format 'htm'"
run --bogus doc.md
check "unknown option refused" rc_is 2
run doc.md part.md
check "two inputs refused" rc_is 2
run missing.md
check "missing input fails" rc_is 1
check "missing input named" err_has "missing.md"

# Numbers in every base are the same flags as the named options.
run -x 0x218 doc.md
cp out.txt hex.txt
run -x 536 doc.md
check "decimal and hex flags agree" cmp -s out.txt hex.txt
run -x 0 --critic --no-labels doc.md
check "critic marks changes up" out_has "<ins>added</ins>"
check "notes off by -x 0" out_lacks 'class="footnotes"'

# Defaults: notes and smart typography; transclusion only when asked.
run -f html doc.md
check "default succeeds" rc_is 0
check "default writes notes" out_has 'class="footnotes"'
check "default is smart" out_has "&#8220;quoted&#8221;"
check "no transclusion by default" out_has "{{part.md}}"
check "default needs no warning" err_empty
run --no-smart --no-notes doc.md
check "no-smart keeps straight quotes" out_has "&quot;quoted&quot;"
check "no-notes writes no notes" out_lacks 'class="footnotes"'

# CriticMarkup accepted or rejected, with transclusion from the file's folder
# or from a folder given.
run --transclude --accept doc.md
check "transclusion from the file's folder" out_has "the <em>included</em> part"
check "accept keeps the addition" out_has "added"
check "accept drops the deletion" out_lacks "removed"
run --transclude=other --reject doc.md
check "transclusion from a folder given" out_has "the other part"
check "reject drops the addition" out_lacks "added"
check "reject keeps the deletion" out_has "removed"
(cd other && "$convert" --transclude <../doc.md >../out.txt 2>../err.txt)
check "standard input transcludes from the working folder" out_has "the other part"

# Complete and snippet choose the document head; the last one wins.
run --complete doc.md
check "complete writes the head" out_has "<!DOCTYPE html>"
run --compatibility -f html doc.md
check "compatibility reads metadata as text" out_has "<p>Title: Notes</p>"

# Input that is not UTF-8 text is converted with a warning.
printf 'a\0b\n' >nul.md
run nul.md
check "NUL input converts" rc_is 0
check "NUL input warns" err_has "nul.md is not UTF-8 text (a NUL byte at byte 1)"
printf 'caf\xe9\n' >latin1.md
run latin1.md
check "Latin-1 input warns" err_has "invalid UTF-8 at byte 3"
printf 'over\xc0\xaflong \xed\xa0\x80 surrogate\n' >overlong.md
run overlong.md
check "overlong sequence warns" err_has "invalid UTF-8 at byte 4"
printf 'caf\xc3\xa9 \xf0\x9f\x98\x80\n' >utf8.md
run utf8.md
check "UTF-8 input has no warning" err_empty
# Long ASCII runs are checked eight bytes at a time: faults past them, and
# at a run's last byte, are still found where they are.
printf 'plain ascii text, then \0 late\n' >late_nul.md
run late_nul.md
check "late NUL warns at its byte" err_has "a NUL byte at byte 23"
printf 'sixteen bytes...\xc3(\n' >late_bad.md
run late_bad.md
check "late invalid byte warns at its byte" err_has "invalid UTF-8 at byte 16"
printf 'seven b\xe2\x80\x9c and ascii after it, \xe2\x80\x9d\n' >late_utf8.md
run late_utf8.md
check "UTF-8 between ASCII runs has no warning" err_empty

# Output files and packages.
run -f odt -o doc.odt doc.md
check "odt written" rc_is 0
check "odt is a zip" bash -c '[ "$(head -c 2 doc.odt)" = PK ]'
run -o /nonexistent/folder/out.html doc.md
check "unwritable output fails" rc_is 1

# A package holds pictures only, told by their bytes: a file named as a
# picture that is none, one behind a link leading out of the folder and one
# by its absolute path are left out, each named on standard error, and the
# conversion still succeeds. The real picture is not named.
mkdir -p pics outside
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\10\2\0\0\0\x90\x77\x53\xde\0\0\0\x0cIDAT' >pics/dot.png
printf '\x78\xda\x63\xf8\xcf\xc0\0\0\3\1\1\0\xf7\3\x41\x43\0\0\0\0IEND\xae\x42\x60\x82' >>pics/dot.png
printf 'my private notes\n' >pics/notes.png
printf 'root:x:0:0:root:/root:/bin/bash\n' >outside/passwd
ln -s ../outside/passwd pics/link.png
printf '![dot](pics/dot.png) ![notes](pics/notes.png) ![link](pics/link.png) ![pw](%s)\n' \
  "$work/outside/passwd" >pictures.md
err_lines() { [ "$(wc -l <err.txt)" -eq "$1" ]; }
for format in epub odt textpack; do
  run -f "$format" -o "pictures.$format" pictures.md
  check "$format with files that are no pictures succeeds" rc_is 0
  check "$format written" bash -c "[ \"\$(head -c 2 pictures.$format)\" = PK ]"
  for left_out in pics/notes.png pics/link.png "$work/outside/passwd"; do
    check "$format names $left_out" err_has "Left out '$left_out': not a picture this format can hold"
  done
  check "$format names nothing else" err_lines 3
done

# Hostile files cost little: a picture larger than a download may be (2 GB,
# sparse) is left out unread, with its size as the reason; a FIFO is not
# waited on; an SVG whose entities would stand for gigabytes, and one that
# names a document type kept elsewhere, are left out. The time-out only
# catches a hang.
cp pics/dot.png pics/huge.png
truncate -s 2G pics/huge.png
mkfifo pics/pipe.png
printf '<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">\n' >pics/dtd.svg
printf '<svg xmlns="http://www.w3.org/2000/svg"/>\n' >>pics/dtd.svg
{
  printf '<!DOCTYPE svg [<!ENTITY e "'
  head -c 100000 /dev/zero | tr '\0' a
  printf '">]>\n<svg xmlns="http://www.w3.org/2000/svg"><text>'
  printf '&e;%.0s' $(seq 50000)
  printf '</text></svg>\n'
} >pics/bomb.svg
printf '![dot](pics/dot.png) ![huge](pics/huge.png) ![pipe](pics/pipe.png) ![dtd](pics/dtd.svg) ![bomb](pics/bomb.svg)\n' \
  >hostile.md
for format in epub odt textpack; do
  timeout 120 "$convert" -f "$format" -o "hostile.$format" hostile.md >out.txt 2>err.txt
  echo $? >rc.txt
  check "$format with hostile files succeeds" rc_is 0
  check "$format names the picture too large" err_has "Left out 'pics/huge.png': larger than 64 MiB"
  check "$format does not wait on a FIFO" err_has "Unable to store 'pics/pipe.png' in EPUB"
  check "$format leaves out an SVG with a document type elsewhere" \
    err_has "Left out 'pics/dtd.svg': not a picture this format can hold"
  check "$format leaves out an entity bomb" err_has "Left out 'pics/bomb.svg': not a picture this format can hold"
  check "$format names nothing else" err_lines 4
  check "$format package is small" bash -c "[ \$(stat -c %s hostile.$format) -lt 100000 ]"
done

echo "tzr-convert: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
