// Resource and control identifiers of the updater, shared by Updater.rc and the C++ sources
// (hence macros: the resource compiler reads only the preprocessor's names).
#pragma once

#define IDD_UPDATE 101
#define IDI_UPDATER 102
#define IDR_PAYLOAD 107
#define IDR_RELEASE 109

#define IDC_TARGET_PATH 1001
#define IDC_CHANGE 1002
