// Resource identifiers of the Windows program alone (the command line, archive mode's progress
// window), shared by its code and res/ArchiveMode.rc. The ids both desktops share are in
// app/Resource.h.
#pragma once

#define IDD_ARCHIVE_PROGRESS 110
#define IDS_CMD_HELP 200
#define IDS_CMD_NEEDS_VALUE 201
#define IDS_CMD_TAKES_NO_VALUE 202
#define IDS_CMD_UNKNOWN_OPTION 203
#define IDS_CMD_UNEXPECTED_ARGUMENT 204
#define IDS_CMD_NEEDS_ARCHIVE 205
#define IDS_CMD_DISC_TIME 206
#define IDS_CMD_UNKNOWN_FIELD 207
#define IDS_CMD_UNCLOSED_BRACE 208
#define IDS_CMD_STRAY_BRACE 209
#define IDS_CMD_BAG_INFO_UNREADABLE 210
#define IDS_CMD_BAG_INFO_TOO_LARGE 211
#define IDS_CMD_BAG_INFO_NOT_TEXT 212
#define IDS_CMD_BAG_INFO_NOT_A_FIELD 213
#define IDS_CMD_BAG_INFO_OWN_LABEL 214
#define IDS_PROGRESS_DISC 220
#define IDS_PROGRESS_BYTES 221
#define IDS_PROGRESS_STOPPING 222
#define IDC_PROGRESS_DISC 1100
#define IDC_PROGRESS_FILE 1101
#define IDC_PROGRESS_BYTES 1102
#define IDC_PROGRESS_BAR 1103
