#!/usr/bin/env bash
# The shipped 32-bit product: an i386 PE32 Windows GUI program importing only DLLs Windows takes
# from the system folder, none delay-loaded (a DLL planted beside it is never loaded), with
# exactly the updater's resources, an administrator manifest and the dialog's texts.
#   product_image_test.sh OBJDUMP PRODUCT
set -uo pipefail
export LC_ALL=C # objdump translates its headings in other locales
headers=$("$1" -p "$2") || { echo "FAIL: cannot read $2"; exit 1; }
failures=0
expect() { grep -Eq -- "$1" <<<"$2" || { echo "FAIL: /$1/ not in: $2"; failures=$((failures + 1)); }; }
expect 'file format pei-i386' "$headers"
expect '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' "$headers"
expect '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' "$headers"
expect 'Entry d 00000000 00000000 Delay Import Directory' "$headers"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
expect '^((kernel32|user32|gdi32|advapi32|shell32|ole32|comdlg32|msvcrt)\.dll )+$' "$dlls"
# Types and names: payload, digest and release description (BIN 107-109), eight icon images,
# the dialog (101), its icon group (102), the version resource (1) and the manifest.
resources=$(sed -nE 's/^[0-9a-f]{3}   Entry: (ID: 0x0*|name: .*: )([0-9a-zA-Z]+),.*/\2/p
    s/^[0-9a-f]{3}     Entry: ID: 0x0*([0-9a-f]+),.*/\1/p' <<<"$headers" | tr '\n' ' ')
expect '^BIN 6b 6c 6d 3 1 2 3 4 5 6 7 8 5 65 e 66 10 1 18 1 $' "$resources"
# The manifest: elevation, the Windows 10/11 GUID, common controls 6, per-monitor (v2) DPI
# awareness with fallbacks, code page 932.
manifest=$(tr -s ' \r\n' ' ' <"$2" | grep -ao '<assembly .*</assembly>')
for element in 'level="requireAdministrator"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="\*" publicKeyToken="6595b64144ccf1df"' \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' \
    '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, System</dpiAwareness>' \
    '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">ja-JP</activeCodePage>'; do
    expect "$element" "$manifest"
done
# Each text of the dialog (UTF-16), asserted here only; the version resource's fixed texts.
missing=$(perl -MEncode -e 'local $/; open(my $f, "<:raw", shift) or die; my $exe = <$f>;
    index($exe, encode("UTF-16LE", decode("UTF-8", "$_\0"))) >= 0 or print "$_ " for @ARGV' "$2" \
    ラークスパーグリームアップデート "ＭＳ Ｐゴシック" OK キャンセル 変更 更新するEXE \
    "$(printf 'ラークスパーグリームのバージョンを\n【Version 1.0.0.1】へアップデートします。')" \
    "Larkspurgleam Project" LarkspurgleamUpdater.exe ラークスパーグリーム)
expect '^$' "$missing"
echo "product image: imports $dlls; $failures failed"
[ "$failures" -eq 0 ]
