// Resource and control identifiers, shared by the .rc file, the window and the
// end-to-end driver.
#pragma once

#define IDI_APP_ICON 1
#define IDB_QR_CODE 101

#define IDC_LABEL1 1001
#define IDC_TEXT1 1002
#define IDC_COMMAND4 1003
#define IDC_LABEL2 1004
#define IDC_COMMAND2 1005
#define IDC_LIST1 1006
#define IDC_COMMAND1 1007
#define IDC_COMMAND5 1008
#define IDC_COMMAND3 1009
#define IDC_IMAGE1 1010
#define IDC_LABEL3 1011

#define MAIN_WINDOW_CLASS L"Form1"
