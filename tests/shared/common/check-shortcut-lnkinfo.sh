#!/usr/bin/env bash
# Writes a shortcut with the Windows test program and checks it with lnkinfo, a reader of the link
# format that shares no code with Windows or Wine.
# Usage: check-shortcut-lnkinfo.sh <wine-run> <syshelp_test.exe> <output folder> <report.xml>
# The report is in the GoogleTest XML form that scripts/test counts.
set -eu
runner=$1 program=$2 out=$3 report=$4
fail=0
report() {
  mkdir -p "$(dirname "$report")"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuites tests="1" failures="%d" disabled="0" errors="0" name="AllTests">\n</testsuites>\n' "$fail" >"$report"
}
rm -rf "$out" "$report"
mkdir -p "$out"
VELMORA_LNK_OUT="Z:${out//\//\\}" "$runner" "$program" --gtest_filter=Shortcututil.CreatesLinkToProgram || fail=1
link="$out/Velmora.LNK"
if [ ! -f "$link" ] || ! lnkinfo "$link" >"$out/lnkinfo.txt"; then
  echo "no readable link at $link"
  fail=1
  report
  exit 1
fi
cat "$out/lnkinfo.txt"
expect() {
  grep -qiE "$1" "$out/lnkinfo.txt" || { echo "lnkinfo shows no line matching: $1"; fail=1; }
}
expect 'Local path[[:space:]]*: C:\\VelmoraShortcutTest\\Velmora\.exe$'
expect 'Working directory[[:space:]]*: C:\\VelmoraShortcutTest$'
expect 'Icon location[[:space:]]*: C:\\VelmoraShortcutTest\\Velmora\.exe$'
expect 'Command line arguments[[:space:]]*: /silent$'
report
exit $fail
