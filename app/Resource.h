// Resource identifiers, shared by the code and the resource scripts.
#pragma once

#define IDC_BROWSE 3
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDI_DRIVE 130
#define IDI_FOLDER 131
#define IDS_STATE_IDLE 132
#define IDS_STATE_EJECTING 133
#define IDS_STATE_WAITING 134
#define IDS_STATE_COPYING 135
#define IDS_BROWSE_TITLE 136
#define IDS_COL_DRIVE 137
#define IDS_COL_STATUS 138
#define IDC_DRIVES 1000
#define IDC_TARGET 1002
#define IDC_OPEN_TARGET 1004
