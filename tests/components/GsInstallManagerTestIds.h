#pragma once

// Resource ids of the install-manager tests' progress dialog (shared with the resource script,
// hence preprocessor names).
#define IDD_INSTALL_PROGRESS 301
#define IDC_INSTALL_STATUS 1101 // receives the progress text
#define IDC_INSTALL_OTHER 1102  // a second text the manager must leave alone
