#!/bin/sh
# Inspects the built plug-in module Roomstat_32.xfm as the host editor sees it:
#   - a PE32 (32-bit x86) DLL whose export directory names the module
#     "Roomstat_32.xfm";
#   - exactly the eight entry points under their plain names and ordinals,
#     each one the stdcall function of that name (decorated _Name@bytes);
#   - imports from system DLLs only (the compiler's runtimes are linked in);
#   - the resources: bitmap "TOOLBARICON" (20 x 20, 4 bits per pixel, 16
#     colours), DIALOGs 100, 106 and 107, and every other dialog template
#     that the resource script declares.
#
# Usage: check_dll.sh DLL RESOURCE_SCRIPT
# Tools: $OBJDUMP (default i686-w64-mingw32-objdump) and wrestool (icoutils).
# Prints one line per check; exits 1 when any check fails.
set -u

dll=${1:?usage: check_dll.sh DLL RESOURCE_SCRIPT}
rc=${2:?usage: check_dll.sh DLL RESOURCE_SCRIPT}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
wrestool=${WRESTOOL:-wrestool}

failures=0
pass() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ ! -f "$dll" ]; then
  echo "FAIL: $dll does not exist (the cross-build of the DLL failed or did not run)"
  exit 1
fi
for tool in "$objdump" "$wrestool"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool not found"
    exit 1
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if ! "$objdump" -p "$dll" >"$tmp/headers"; then
  echo "FAIL: $objdump -p cannot read $dll"
  exit 1
fi
"$objdump" -h "$dll" >"$tmp/sections"
"$objdump" -t "$dll" >"$tmp/symbols"

# --- module kind ------------------------------------------------------------
if grep -q 'file format pei-i386' "$tmp/headers" && grep -q '^Magic[[:space:]]*010b' "$tmp/headers" &&
   grep -q '^[[:space:]]*DLL$' "$tmp/headers"; then
  pass "PE32 i386 DLL"
else
  fail "not a PE32 i386 DLL"
fi

module_name=$(awk '/^Name[[:space:]]+[0-9a-fA-F]+[[:space:]]/ { print $3; exit }' "$tmp/headers")
if [ "$module_name" = "Roomstat_32.xfm" ]; then
  pass "export directory names the module Roomstat_32.xfm"
else
  fail "export directory names the module '$module_name', expected Roomstat_32.xfm"
fi

# --- exports ----------------------------------------------------------------
# "ordinal name rva" for every named export. objdump prints the name table as
# "[index] Name" (ordinal = index + base) or, in newer binutils, as
# "[index] +base[ordinal] hint Name"; the address table as
# "[index] +base[ordinal] rva Export RVA".
awk '
  /^Export Address Table -- Ordinal Base/ { base = $NF; section = "addr"; next }
  /^\[Ordinal\/Name Pointer\] Table/ { section = "names"; next }
  /^[^ \t]/ { section = "" }
  section == "addr" && /Export RVA/ {
    line = $0; sub(/^.*\+base\[ */, "", line); split(line, p, /[] ]+/)
    rva[p[1] + 0] = p[2]
  }
  section == "names" && /^[ \t]*\[/ {
    line = $0; sub(/^[ \t]*\[ */, "", line); split(line, p, /[] ]+/)
    index0 = p[1] + 0; name = $NF
    if (line ~ /\+base\[/) { sub(/^.*\+base\[ */, "", line); split(line, q, /[] ]+/); ordinal = q[1] + 0 }
    else ordinal = index0 + base
    names[name] = ordinal
  }
  END { for (n in names) printf "%d %s %s\n", names[n], n, rva[names[n]] }
' "$tmp/headers" | sort -n >"$tmp/exports"

# The entry points: name, ordinal, bytes of arguments that a stdcall callee
# pops. The host calls them by name, the plug-in finds the dialog procedures
# by ordinal: both are binding.
cat >"$tmp/expected" <<'EOF'
2 QueryXfm 4
3 XfmInit 4
4 XfmSetup 12
5 XfmDo 4
6 XfmDestroy 4
100 DIALOGMsgProc 16
101 DIALOGMsgProc2 16
102 DIALOGMsgProc3 16
EOF

awk '{ print $1, $2 }' "$tmp/expected" >"$tmp/expected_names"
awk '{ print $1, $2 }' "$tmp/exports" >"$tmp/found_names"
if cmp -s "$tmp/expected_names" "$tmp/found_names"; then
  pass "exports: exactly the eight entry points with their ordinals"
else
  fail "exports differ from the eight entry points (< expected, > found):"
  diff "$tmp/expected_names" "$tmp/found_names" | sed 's/^/      /'
fi

# stdcall: each export must be the address of the decorated _Name@bytes.
image_base=$(awk '/^ImageBase/ { print $2; exit }' "$tmp/headers")
while read -r ordinal name bytes; do
  export_rva=$(awk -v n="$name" '$2 == n { print $3 }' "$tmp/exports")
  [ -n "$export_rva" ] || continue
  symbol_rva=$(awk -v sym="_${name}@${bytes}" -v base="$image_base" '
    function hex(s,   i, v, c) { v = 0; s = tolower(s); sub(/^0x/, "", s)
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); v = v * 16 + c - 1 }
      return v }
    FILENAME ~ /sections$/ && $1 ~ /^[0-9]+$/ && NF >= 7 { vma[$1 + 1] = hex($4) }
    FILENAME ~ /symbols$/ && $NF == sym {
      sec = $0; sub(/^.*\(sec +/, "", sec); sec = sec + 0
      found = sprintf("%x", vma[sec] - hex(base) + hex($(NF - 1)))
    }
    END { print found }' "$tmp/sections" "$tmp/symbols")
  if [ -z "$symbol_rva" ]; then
    fail "$name: no stdcall symbol _${name}@${bytes} in the module's symbol table"
  elif [ "$(printf '%d' "0x$symbol_rva")" -eq "$(printf '%d' "0x$export_rva")" ]; then
    pass "$name @$ordinal is the stdcall function _${name}@${bytes}"
  else
    fail "$name @$ordinal exports RVA $export_rva, but _${name}@${bytes} is at $symbol_rva"
  fi
done <"$tmp/expected"

# --- imports ----------------------------------------------------------------
imports=$(awk '/DLL Name:/ { print tolower($3) }' "$tmp/headers" | sort -u)
bad_imports=""
for library in $imports; do
  case "$library" in
    kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll | shell32.dll | comctl32.dll | \
    comdlg32.dll | ole32.dll | oleaut32.dll | winmm.dll | ntdll.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
    *) bad_imports="$bad_imports $library" ;;
  esac
done
if [ -z "$imports" ]; then
  fail "no import table found"
elif [ -n "$bad_imports" ]; then
  fail "imports non-system DLLs:$bad_imports"
else
  pass "imports only system DLLs: $(echo "$imports" | tr '\n' ' ')"
fi

# --- resources --------------------------------------------------------------
if ! "$wrestool" -l "$dll" >"$tmp/resources" 2>"$tmp/wrestool.err"; then
  fail "wrestool cannot list the resources: $(cat "$tmp/wrestool.err")"
fi
has_resource() {  # type name
  tr -d "'" <"$tmp/resources" | grep -q -- "--type=$1 --name=$2 "
}

if has_resource 2 TOOLBARICON; then
  # A bitmap resource starts with its BITMAPINFOHEADER: size, width, height
  # (32-bit), planes, bits per pixel (16-bit), then compression, image size,
  # two resolutions and the number of palette colours (32-bit).
  "$wrestool" -x --raw --type=2 --name=TOOLBARICON "$dll" >"$tmp/bitmap" 2>/dev/null
  header=$(od -A n -t u4 -N 12 "$tmp/bitmap" | tr -s ' ' | sed 's/^ //')
  bits=$(od -A n -t u2 -j 14 -N 2 "$tmp/bitmap" | tr -d ' ')
  colours=$(od -A n -t u4 -j 32 -N 4 "$tmp/bitmap" | tr -d ' ')
  if [ "$header" = "40 20 20" ] && [ "$bits" = "4" ] && { [ "$colours" = "16" ] || [ "$colours" = "0" ]; }; then
    pass "bitmap TOOLBARICON: 20 x 20, 4 bits per pixel, 16-colour palette"
  else
    fail "bitmap TOOLBARICON: header size/width/height '$header', bits '$bits', colours '$colours'; expected 40 20 20, 4, 16"
  fi
else
  fail "bitmap TOOLBARICON missing"
fi

# The three dialog templates of the plug-in (settings, octave results,
# third-octave results), and any other that the resource script declares.
dialogs=$( (printf '100\n106\n107\n'; sed -n 's/^[[:space:]]*\([0-9][0-9]*\)[[:space:]][[:space:]]*DIALOG\([[:space:]].*\)\{0,1\}$/\1/p' "$rc") | sort -un)
for id in $dialogs; do
  if has_resource 5 "$id"; then
    pass "DIALOG $id present"
  else
    fail "DIALOG $id missing"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $dll"
  exit 1
fi
echo "all checks passed for $dll"
