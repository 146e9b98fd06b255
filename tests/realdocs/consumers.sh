#!/usr/bin/env bash
# Real documents read by the real consumers of each format: a fixed choice of
# installed Markdown files (chosen.txt), converted by tzr-convert and handed
# to epubcheck (EPUB), LibreOffice (ODT) or pdflatex (LaTeX with the shipped
# support files).
#   tests/realdocs/consumers.sh TZR-CONVERT epub|odt|latex [SOURCE-DIR]
# Fails on a converter crash or hang and on any consumer error that is not
# one of the document's own causes named in the README.
set -uo pipefail
convert="$(realpath "${1:?usage: consumers.sh TZR-CONVERT epub|odt|latex}")"
consumer="${2:?usage: consumers.sh TZR-CONVERT epub|odt|latex}"
here="$(cd "$(dirname "$0")" && pwd)"
support="$(cd "$here/../../resources/latex" && pwd)"
root="${REALDOCS_ROOT:-/usr/share/doc}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# No network: a proxy on a closed local port refuses every picture at once.
export ALL_PROXY=http://127.0.0.1:9 HTTPS_PROXY=http://127.0.0.1:9 http_proxy=http://127.0.0.1:9
unset NO_PROXY no_proxy

passed=0 failed=0 skipped=0 absent=0 own=0 known=0
# A failure of a document listed in known.txt for this consumer is reported
# as a known fault; any other fails the run.
fail() {
  local document="${1%%:*}" reason
  reason="$(awk -v c="$consumer" -v d="$document" '$1 == c && $2 == d { $1 = ""; $2 = ""; sub(/^  /, ""); print }' "$here/known.txt")"
  if [ -n "$reason" ]; then
    known=$((known + 1))
    echo "known fault, not mended yet: $document: $reason"
  else
    failed=$((failed + 1))
    echo "FAILED: $*"
  fi
}

# The document's own causes of epubcheck errors (see the README): a link or
# picture to a file that is not in the book, a link to a fragment the
# document does not define, and elements or attributes of its raw HTML that
# EPUB's XHTML does not allow.
own_epub_error() {
  case "$1" in
    *"ERROR(RSC-007)"*|*"ERROR(RSC-012)"*) return 0 ;;
    *"ERROR(RSC-005)"*"not allowed"*|*"ERROR(RSC-005)"*"attribute"*"invalid"*) return 0 ;;
    *"ERROR(RSC-005)"*"must not appear as a descendant"*|*"ERROR(RSC-005)"*"incomplete"*) return 0 ;;
    *"ERROR(RSC-020)"*|*"ERROR(RSC-033)"*) return 0 ;;
  esac
  return 1
}

jar=/usr/share/java/epubcheck.jar
books=()
n=0
while read -r relative; do
  case "$relative" in ''|'#'*) continue ;; esac
  source="$root/$relative"
  if [ ! -f "$source" ]; then
    absent=$((absent + 1))
    echo "absent: $relative"
    continue
  fi
  n=$((n + 1))
  name="doc$n"
  gzip -dcf "$source" >"$work/$name.md"
  folder="$(dirname "$source")"
  case "$consumer" in
    epub)
      timeout 120 "$convert" -f epub -a "$folder" -o "$work/$name.epub" "$work/$name.md" 2>/dev/null
      status=$?
      [ $status -eq 0 ] || { fail "$relative: tzr-convert status $status"; continue; }
      echo "$relative" >"$work/$name.epub.name"
      books+=("$work/$name.epub")
      ;;
    odt)
      timeout 120 "$convert" -f odt -a "$folder" -o "$work/$name.odt" "$work/$name.md" 2>/dev/null
      status=$?
      [ $status -eq 0 ] || { fail "$relative: tzr-convert status $status"; continue; }
      echo "$relative" >"$work/$name.odt.name"
      ;;
    latex)
      { printf 'latexconfig: report\n\n'; cat "$work/$name.md"; } >"$work/$name-full.md"
      timeout 120 "$convert" -f latex -o "$work/$name.tex" "$work/$name-full.md" 2>/dev/null
      status=$?
      [ $status -eq 0 ] || { fail "$relative: tzr-convert status $status"; continue; }
      if grep -q '\\includegraphics' "$work/$name.tex"; then
        skipped=$((skipped + 1))
        echo "skipped (remote or missing pictures): $relative"
        continue
      fi
      (cd "$work" && TEXINPUTS="$support//:" timeout 300 pdflatex -interaction=nonstopmode \
        -halt-on-error "$name.tex" >/dev/null 2>&1 </dev/null)
      if [ -s "$work/$name.pdf" ]; then
        passed=$((passed + 1))
      elif grep -q "not set up for use with LaTeX\|Invalid UTF-8" "$work/$name.log"; then
        skipped=$((skipped + 1))
        echo "skipped (characters the default fonts lack): $relative"
      else
        fail "$relative: pdflatex"
        grep -m3 -A2 '^!' "$work/$name.log" | sed 's/^/  /'
      fi
      ;;
    *) echo "unknown consumer $consumer"; exit 2 ;;
  esac
done <"$here/chosen.txt"

if [ "$consumer" = epub ] && [ ${#books[@]} -gt 0 ]; then
  # One Java VM checks every book: a VM per book took minutes.
  timeout 900 java -Xss4m -cp "$jar" "$here/../support/epubcheck_books.java" "${books[@]}" \
    >"$work/epubcheck.txt" 2>&1
  for book in "${books[@]}"; do
    relative="$(cat "$book.name")"
    if ! grep -qxF "== $book" "$work/epubcheck.txt"; then
      fail "$relative: epubcheck did not check it"
      tail -5 "$work/epubcheck.txt" | sed 's/^/  /'
      continue
    fi
    bad=0
    while IFS= read -r line; do
      case "$line" in
        *"ERROR("*|*"FATAL("*)
          if own_epub_error "$line"; then own=$((own + 1)); else bad=1; echo "  $line" | cut -c1-400; fi ;;
      esac
    done < <(awk -v heading="== $book" '$0 == heading { on = 1; next } /^== / { on = 0 } on' "$work/epubcheck.txt")
    if [ $bad -eq 0 ]; then passed=$((passed + 1)); else fail "$relative: epubcheck"; fi
  done
fi

if [ "$consumer" = odt ]; then
  # One LibreOffice start reads every document.
  (cd "$work" && timeout 600 soffice --headless --norestore --convert-to txt:Text --outdir "$work/txt" \
    ./*.odt >"$work/soffice.txt" 2>&1)
  for odt in "$work"/*.odt; do
    [ -e "$odt" ] || continue
    text="$work/txt/$(basename "${odt%.odt}").txt"
    if [ -s "$text" ]; then passed=$((passed + 1)); else fail "$(cat "$odt.name"): LibreOffice read nothing"; fi
  done
fi

echo "$consumer: $n documents, $absent absent, $skipped skipped, $known known faults, $own errors the documents' own"
echo "realdocs $consumer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
