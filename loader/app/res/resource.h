// Identifiers of the loader's resources and dialog controls.
#pragma once

#define IDD_SKIFFAPP_DIALOG 102
#define IDB_STATUS_IMAGES 130
#define IDB_LOGO 139
#define IDR_MAINFRAME 141

#define IDC_PROGRESS 202
#define IDC_STATUS_LIST 203
#define IDC_RELOAD 206
#define IDC_SERVER 1000
#define IDC_LAUNCH 1001
#define IDC_PROXY_USER 1002
#define IDC_PROXY_PASSWORD 1003
#define IDC_PROXY_ADDRESS 1004
#define IDC_PROXY 1005
#define IDC_PROXY_LABEL 1006
#define IDC_AUTO_START 1007
#define IDC_USER_LABEL 1008
#define IDC_PASSWORD_LABEL 1009
#define IDC_AUTO_CLOSE 1011
