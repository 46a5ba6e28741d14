// Resource ids shared by the resource script and the code.
#pragma once

// Icons
#define IDI_TOWER 129
#define IDI_BULB 135

// Menu and accelerators
#define IDM_MAIN 300
#define IDA_MAIN 200

// Menu commands
#define IDM_CONNECT 256
#define IDM_DISCONNECT 257
#define IDM_EXIT 258
#define IDM_TRANSMISSION 259
#define IDM_ABOUT 260
#define IDM_LIGHT 40046
#define IDM_TEST 40047
#define IDM_PROGRAM_SETTINGS 40050
#define IDM_READ_BACK 40053

// String table: port-setting names
#define IDS_COM 784
#define IDS_BAUD_FIRST 800
#define IDS_PARITY_FIRST 816
#define IDS_STOPBITS_FIRST 832

// String table: message texts
#define IDS_TITLE 853
#define IDS_ERROR 854
#define IDS_COM_OPEN_FAILED 855
#define IDS_DISCONNECTED 856
#define IDS_TEST_MODE 858
#define IDS_CONFIRM_CLOSE 859
#define IDS_AUTO_BACKLIGHT 861
#define IDS_LEAVE_TEST_MODE 862
#define IDS_CONNECTED 864
#define IDS_TEST_MODE_SCRIPT 865
#define IDS_CONNECTED_SCRIPT 866
#define IDS_SCRIPT_OPEN_FAILED 867
#define IDS_SCRIPT_NEEDS_LINK 868
#define IDS_TRANSMISSION_ERROR 870
#define IDS_FILTER_TEXT 875
#define IDS_FILTER_ALL 876
