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
#define IDM_PRICE_HISTORY 40054
#define IDM_ORDERS 40055
#define IDM_CENTRAL 40056

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
#define IDS_PORT_MISSING 871
#define IDS_FILTER_TEXT 875
#define IDS_FILTER_ALL 876
#define IDS_PRICES_CONFIRMED 877
#define IDS_PRICES_MISMATCH 878
#define IDS_MISMATCH_INTRO 879
#define IDS_MISMATCH_ROW 880
#define IDS_BLINKING 881

// Control panel (template "DYSTRDLG")
#define IDC_STATUS 556
#define IDC_TEMPERATURE 557
#define IDC_LIGHT_LEVEL 558
#define IDC_UNUSED_559 559
#define IDC_HIDDEN_560 560
#define IDC_LABEL1 561  // to 565
#define IDC_PRICE1 1020
#define IDC_DISPLAY1_TEXT 1021
#define IDC_CONTROL_FILE 1022
#define IDC_PRICE2 1023
#define IDC_PRICE3 1024
#define IDC_PRICE4 1025
#define IDC_PRICE5 1026
#define IDC_SEND_PRICES 1028
#define IDC_DISPLAY1_SEND 1029
#define IDC_DISPLAY2_TEXT 1030
#define IDC_DISPLAY2_SEND 1031
#define IDC_BACKLIGHT_ON 1032
#define IDC_BACKLIGHT_OFF 1033
#define IDC_START_STOP 1070
#define IDC_DISPLAY1_NEGATIVE 1072
#define IDC_DISPLAY2_NEGATIVE 1073
#define IDC_BLINK1 1074  // to 1078
#define IDC_CHOOSE_FILE 1079

// About box (dialog 100)
#define IDD_ABOUT 100
#define IDC_VERSION_TEXT 530
#define IDC_CONTROLLER_VERSION 531
#define IDC_ADVERT_VERSION 532

// Transmission settings (dialog 101)
#define IDD_TRANSMISSION 101
#define IDC_PORT_LIST 544
#define IDC_SPEED_LIST 545
#define IDC_DATA_BITS_LIST 546
#define IDC_PARITY_LIST 547
#define IDC_STOP_BITS_LIST 548
#define IDC_FONT 555
#define IDC_LOG_TO_FILE 1073

// Light settings (dialog 102)
#define IDD_LIGHT 102
#define IDC_LIGHT_FIRST 1073  // 1073 to 1084: display 1, display 2, prices
#define IDC_LOW_LIGHT_LEVEL 1081
#define IDC_AUTO_BACKLIGHT 1085
#define IDC_LIGHT_SEND 1028

// Program settings (dialog 104)
#define IDD_PROGRAM_SETTINGS 104
#define IDC_DESCRIPTION1 1086  // descriptions 1086, 1088, ..., 1094
#define IDC_SWATCH1 1087       // colour buttons 1087, 1089, ..., 1095
#define IDC_HIDE_ON_MINIMISE 1096

// Price history (dialog 105)
#define IDD_PRICE_HISTORY 105
#define IDC_HISTORY_LIST 1100

// Price orders (dialog 106) and a new order (dialog 107)
#define IDD_ORDERS 106
#define IDC_ORDERS_LIST 1110
#define IDC_ORDER_NEW 1111
#define IDC_ORDER_CANCEL 1112
#define IDC_ORDERS_CENTRAL 1113  // the head office's contact
#define IDC_ORDERS_WAITING 1114  // its results waiting to be sent
#define IDD_NEW_ORDER 107
#define IDC_NEW_CHANGE1 1120  // to 1124: the rows the order names
#define IDC_NEW_LABEL1 1125   // to 1129
#define IDC_NEW_PRICE1 1130   // to 1134
#define IDC_NEW_BLINK1 1135   // to 1139
#define IDC_NEW_TIME 1140
#define IDC_NEW_DESCRIPTION 1141

// The head office (dialog 108)
#define IDD_CENTRAL 108
#define IDC_CENTRAL_ADDRESS 1150
#define IDC_CENTRAL_REPORT 1151
#define IDC_CENTRAL_STATION 1152
#define IDC_CENTRAL_PERIOD 1153
#define IDC_CENTRAL_KEY 1154
#define IDC_CENTRAL_ANSWER 1155
#define IDC_CENTRAL_CHECK 1156
