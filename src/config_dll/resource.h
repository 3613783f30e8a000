// Resource and control numbers of the preferences dialog. Tests drive the
// dialog by these numbers, so each is unique across all pages.
#pragma once

#define IDI_PRODUCT 1

#define IDD_PREFERENCES 100
#define IDD_PAGE_CONNECTION 101
#define IDD_PAGE_BROWSER 102
#define IDD_PAGE_DISPLAY 103
#define IDD_PAGE_TOPICS 104
#define IDD_PAGE_SYMBOLS 105
#define IDD_PAGE_PACE 106

#define IDC_TABS 1000
#define IDC_PROXY_ON 1001
#define IDC_PROXY_HOST 1002
#define IDC_PROXY_PORT 1003
#define IDC_BROWSER_PATH 1010
#define IDC_BROWSE 1011
#define IDC_EDGE 1020
#define IDC_ON_TOP 1021
#define IDC_AUTO_HIDE 1022
#define IDC_SPEED 1023
#define IDC_SHOW_QUOTES 1024
#define IDC_SHOW_ADS 1025
#define IDC_TOPICS 1030
#define IDC_TOPIC_ON 1031
#define IDC_TOPIC_HINT 1032
#define IDC_SYMBOLS 1040
#define IDC_SYMBOL 1041
#define IDC_ADD_SYMBOL 1042
#define IDC_REMOVE_SYMBOL 1043
#define IDC_SYMBOLS_FIT 1044
#define IDC_PACE 1050
#define IDC_PACE_MEANING 1051

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
