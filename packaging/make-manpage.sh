#!/bin/sh
# Writes the manual page xhs-saver.1.gz from the built program's --help text.
#   make-manpage.sh EXECUTABLE VERSION OUTPUT.1.gz
#
# The help text is read as the program prints it (UTF-8, the C.UTF-8 locale,
# no colour) and turned into roff the way help2man does:
#   "Usage: ..." lines (and "  or: ..." after them)  -> SYNOPSIS
#   the text before the first heading               -> DESCRIPTION
#   an unindented line ending in ":"                 -> a section (.SH)
#   an indented "-x, --long ARG   what it does" line -> a tagged paragraph (.TP),
#     and so is any indented "TAG   text" line with two or more blanks between;
#     deeper-indented lines after it continue the paragraph
#   an empty line                                    -> a new paragraph
# When the program cannot be run (a cross build, a broken binary) the build
# fails: a manual page without the options would be worse than none.
set -eu

if [ $# -ne 3 ]; then
  echo "usage: make-manpage.sh EXECUTABLE VERSION OUTPUT.1.gz" >&2
  exit 2
fi
exe=$1
version=$2
out=$3

tmp=$(mktemp "${out}.XXXXXX")
trap 'rm -f "$tmp" "$tmp.help"' EXIT

if ! env LC_ALL=C.UTF-8 NO_COLOR=1 QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$exe" --help >"$tmp.help" 2>/dev/null </dev/null; then
  echo "make-manpage: '$exe --help' failed" >&2
  exit 1
fi
if ! grep -q -- '--help' "$tmp.help"; then
  echo "make-manpage: '$exe --help' printed no option list" >&2
  exit 1
fi

# A reproducible date: SOURCE_DATE_EPOCH when the packager sets it.
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d 2>/dev/null || date -u +%Y-%m-%d)
else
  date=$(date -u +%Y-%m-%d)
fi

awk -v version="$version" -v date="$date" '
function esc(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  return s
}
# A text line for roff: a leading "." or "\047" would be read as a request.
function line(s) {
  s = esc(s)
  if (s ~ /^[.\047]/) s = "\\&" s
  print s
}
# "prog rest": the name of the program in bold, the rest as written.
function synopsis(s,   name) {
  name = s; sub(/[ \t].*$/, "", name)
  s = substr(s, length(name) + 1); sub(/^[ \t]+/, "", s)
  print ".B " esc(name)
  if (s != "") line(s)
}
function heading(s) {
  sub(/:[ \t]*$/, "", s)
  print ".SH " toupper(esc(s))
}
BEGIN {
  print ".\\\" Made from the output of \"xhs-saver --help\"; do not edit."
  print ".TH XHS-SAVER 1 \"" date "\" \"xhs-saver " version "\" \"User Commands\""
  print ".SH NAME"
  print "xhs\\-saver \\- save the pictures of a Xiaohongshu note"
  state = "start"   # start, usage, body
  # one option with its argument: -o, --dir DIR, --name=VALUE, -o DIR|--dir DIR
  opt = "-[-A-Za-z0-9]+([ =][A-Z][A-Z_.|-]*)?"
  option_list = "^" opt "(,? " opt ")*"
  described = 0
}
{ sub(/\r$/, "") }
state != "body" && /^[Uu]sage:[ \t]*/ {
  if (state == "start") print ".SH SYNOPSIS"
  s = $0; sub(/^[Uu]sage:[ \t]*/, "", s)
  synopsis(s)
  state = "usage"; next
}
state == "usage" && /^[ \t]+or:[ \t]*/ {
  s = $0; sub(/^[ \t]+or:[ \t]*/, "", s)
  print ".br"
  synopsis(s)
  next
}
# a usage line wrapped onto the next lines
state == "usage" && /^[ \t]+[^ \t]/ {
  s = $0; sub(/^[ \t]+/, "", s)
  line(s)
  next
}
/^[ \t]*$/ { if (state == "body") pending_pp = 1; next }
# An unindented line ending in ":" names a section.
/^[^ \t].*:[ \t]*$/ && length($0) < 60 {
  heading($0); state = "body"; pending_pp = 0; in_tp = 0; described = 1; next
}
{
  if (state != "body") { state = "body" }
  if (!described) { print ".SH DESCRIPTION"; described = 1 }
  indent = match($0, /[^ \t]/) - 1
  text = substr($0, indent + 1)
  tag = ""; rest = ""
  if (indent > 0 && match(text, option_list)) {
    # "-o, --dir DIR  text", also with a single blank before the text
    tag = substr(text, 1, RLENGTH)
    rest = substr(text, RLENGTH + 1); sub(/^[ \t]+/, "", rest)
    if (rest != "" && substr(text, RLENGTH + 1, 1) !~ /[ \t]/) tag = ""
  }
  if (tag == "" && indent > 0 && match(text, /[ \t][ \t]+/) && RSTART <= 25) {
    # "TAG   text": an exit status, a variable
    tag = substr(text, 1, RSTART - 1)
    rest = substr(text, RSTART + RLENGTH)
  }
  if (tag != "" && rest == "" && tag !~ /^-/) tag = ""
  if (tag != "" && rest != "") {
    print ".TP"
    print "\\fB" esc(tag) "\\fR"
    line(rest)
    in_tp = 1; tp_indent = indent; pending_pp = 0
    next
  }
  if (indent > 0 && text ~ /^-/) {
    # an option alone on its line; its explanation follows, deeper indented
    print ".TP"
    print "\\fB" esc(text) "\\fR"
    in_tp = 1; tp_indent = indent; pending_pp = 0
    next
  }
  if (in_tp && indent > tp_indent && !pending_pp) { line(text); next }
  if (pending_pp || in_tp) { print ".PP"; pending_pp = 0; in_tp = 0 }
  line(text)
}
END {
  print ".SH SEE ALSO"
  print "The README of xhs\\-saver, which explains the cookie file and the window."
}
' "$tmp.help" | gzip -9n >"$tmp"

mv -f "$tmp" "$out"
trap - EXIT
rm -f "$tmp.help"
