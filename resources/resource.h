// Resource ids of the program: dialogs, their controls, the icon and the string table; portable.
#pragma once

// Icon
constexpr int IDR_MAINFRAME = 128;

// Dialogs
constexpr int IDD_MARLOWICK_DIALOG = 102;
constexpr int IDD_BUSY_DIALOG = 103;
constexpr int IDD_TRANSFER_DIALOG = 139;

// Main window (102)
constexpr int IDC_REFRESH = 1000;
constexpr int IDC_STATIC_DEVICES = 1002;
constexpr int IDC_STATIC_TARGET = 1003;
constexpr int IDC_STATIC_DESTINATION = 1004;
constexpr int IDC_BROWSE = 1005;
constexpr int IDC_STATIC_ACCOUNT = 1006;
constexpr int IDC_STATIC_PASSWORD = 1007;
constexpr int IDC_FILE_ASSOCIATION = 1008;
constexpr int IDC_CONFIRM_DIALOG = 1009;
constexpr int IDC_TARGET_DEVICE = 1010;
constexpr int IDC_DESTINATION = 1011;
constexpr int IDC_USERNAME = 1012;
constexpr int IDC_PASSWORD = 1013;
constexpr int IDC_OPTIONS_BOX = 1014;
constexpr int IDC_TRANSFER = 1015;
constexpr int IDC_SETTINGS_BOX = 1016;
constexpr int IDC_DEVICE_LIST = 1021;
constexpr int IDC_WEB_BROWSER = 1025;
constexpr int IDC_MONITOR_PAGE = 1026;

// Busy dialog (103)
constexpr int IDC_BUSY_START = 1019;
constexpr int IDC_BUSY_STATUS = 1020;

// Transfer queue window (139)
constexpr int IDC_TRANSFER_LIST = 1021;
constexpr int IDC_TRANSFER_NEXT = 1032;

// String table
constexpr int IDS_CANCEL = 1;
constexpr int IDS_SELECT_FOLDER = 2;
constexpr int IDS_SELECT_DEVICE_FOLDER = 3;
constexpr int IDS_APP_TITLE = 4;
constexpr int IDS_SEARCH_DEVICE = 5;
constexpr int IDS_ENABLE = 7;
constexpr int IDS_DISABLE = 8;
constexpr int IDS_FILE_ASSOCIATION = 9;
constexpr int IDS_CHECK_DATA = 10;
constexpr int IDS_MONITOR_TITLE = 11;
constexpr int IDS_OK = 12;
constexpr int IDS_BAD_ACCOUNT = 13;
constexpr int IDS_BROWSE_FIRST = 14;
constexpr int IDS_ACCOUNT_FIRST = 15;
constexpr int IDS_TRANSFERRING = 16;
constexpr int IDS_TRANSFER_ERROR = 17;
constexpr int IDS_TRANSFER_FINISH = 18;
constexpr int IDS_CLOSE = 19;
constexpr int IDS_COLUMN_FILE_NAME = 20;
constexpr int IDS_COLUMN_STATUS = 21;
constexpr int IDS_STATUS_WAITING = 22;
constexpr int IDS_STATUS_TRANSFERRING = 23;
constexpr int IDS_STATUS_DONE = 24;
constexpr int IDS_STATUS_FAIL = 25;
