#pragma once

// Resource ids of the framework tests' templates (shared with the resource script, hence
// preprocessor names): the routing dialog of the test program and the dialog program's own.
#define IDD_TEST_ROUTING 201
#define IDD_TEST_MISSING 299 // no template has this id
#define IDC_TEST_END 1000    // command that ends the routing dialog
#define IDC_TEST_LABEL 999
#define IDD_APP 101
#define IDC_APP_NAME 1001
#define IDC_APP_MESSAGE 1002
#define IDC_APP_QUESTION 1003
#define IDC_APP_DISABLED 1004
#define IDC_APP_RESULT 1005
