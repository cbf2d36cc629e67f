// Identifiers shared by the dialog templates and the code. Plain defines: windres reads this.
#pragma once

#define IDD_PROGRESS 101
#define IDD_CONFIRM 126
#define IDI_APPLICATION_ICON 1

#define IDC_PROGRESS_BAR 1001
#define IDC_STATUS_TEXT 1002
#define IDC_EXPLANATION 1003
#define IDC_UNPACK_ONLY 1005
