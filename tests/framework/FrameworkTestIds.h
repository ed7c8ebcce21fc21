#pragma once

// Resource ids of the framework tests' own templates (shared with the resource script, hence
// preprocessor names).
#define IDD_TEST_ROUTING 201
#define IDD_TEST_MISSING 299 // no template has this id
#define IDC_TEST_END 1000    // command that ends the test dialog with TEST_END_CODE
#define IDC_TEST_LABEL 1001
