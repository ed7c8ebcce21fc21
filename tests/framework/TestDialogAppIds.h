#pragma once

// Resource ids of the test dialog program (shared with its resource script).
#define IDD_APP 101
#define IDC_APP_NAME 1001
#define IDC_APP_MESSAGE 1002
#define IDC_APP_QUESTION 1003
#define IDC_APP_DISABLED 1004
#define IDC_APP_RESULT 1005
