#!/usr/bin/env bash
# The shipped 32-bit product as a file: an i386 PE32 Windows GUI program whose imports are
# only DLLs that Windows always takes from the system folder (a DLL planted beside the
# updater is never loaded by the loader), and none of them delay-loaded.
#   product_image_test.sh OBJDUMP PRODUCT
set -uo pipefail
# objdump translates its headings in other locales.
export LC_ALL=C
headers=$("$1" -p "$2") || { echo "FAIL: cannot read $2"; exit 1; }
failures=0
expect() {
    grep -Eq -- "$1" <<<"$headers" || { echo "FAIL: no line matches /$1/"; failures=$((failures + 1)); }
}
expect 'file format pei-i386'
expect '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)'
expect '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)'
grep -Eq 'Entry d 00000000 00000000 Delay Import Directory' <<<"$headers" ||
    { echo "FAIL: the program delay-loads DLLs"; failures=$((failures + 1)); }
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort)
[ -n "$dlls" ] || { echo "FAIL: no imports found"; failures=$((failures + 1)); }
for dll in $dlls; do
    case $dll in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | comdlg32.dll | msvcrt.dll) ;;
    *) echo "FAIL: imports $dll, which Windows may look for beside the program"; failures=$((failures + 1)) ;;
    esac
done
echo "product image: imports $(echo $dlls); $failures failed"
[ "$failures" -eq 0 ]
