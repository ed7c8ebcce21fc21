// Resource and control identifiers of the updater, shared by Updater.rc and the C++ sources
// (hence macros: the resource compiler reads only the preprocessor's names).
#pragma once

#define IDD_UPDATE 101
#define IDI_UPDATER 102
#define IDR_PAYLOAD 107
// The SHA-256 of the executable the payload expands to: 32 bytes, type "BIN".
#define IDR_PAYLOAD_DIGEST 108
// The release description the updater was built from: UTF-8 text, type "BIN".
#define IDR_RELEASE 109

#define IDC_TARGET_PATH 1001
#define IDC_CHANGE 1002
