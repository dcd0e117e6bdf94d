#pragma once
// Control ids of the Gantry manager, the package dialog and the Gantry client dialog; the
// tooltip texts are looked up by them.

namespace quillory::ui {

// Manager window.
constexpr int IDC_GANTRY_TABS = 1043;
constexpr int IDC_GANTRY_TITLE = 1065;
constexpr int IDC_GANTRY_LIST = 1040;
constexpr int IDC_AUTOMATIC_MODS = 1089;
constexpr int IDC_CUSTOM_MODS = 1088;
constexpr int IDC_MOD_SUGGESTION = 1067;
constexpr int IDC_MOD_CUSTOM_VALUE = 1068;
constexpr int IDC_SERVER_NAME = 1069;       // 1069-1072: the first four server texts
constexpr int IDC_SERVER_NAME_LABEL = 1073; // 1073-1076: their labels
constexpr int IDC_DOWNLOAD_SIZE = 1077;
constexpr int IDC_TOOL_1 = 1047;
constexpr int IDC_TOOL_2 = 1050;
constexpr int IDC_TOOL_3 = 1052;
constexpr int IDC_TOOL_4 = 1054;
constexpr int IDC_TOOL_5 = 1059;
constexpr int IDC_TOOL_6 = 1061;
constexpr int IDC_PACKAGE_FILTER = 1055;
constexpr int IDC_DOWNLOAD_INSTALL = 1057;
constexpr int IDC_GANTRY_CLOSE = 1;

// Package dialog.
constexpr int IDC_PACKAGE_NAME = 1058;
constexpr int IDC_PACKAGE_HOME = 1060;

// Gantry client dialog.
constexpr int IDC_BAR_DOWNLOAD = 1078;
constexpr int IDC_BAR_INSTALL = 1053;
constexpr int IDC_BAR_TOTAL = 1080;
constexpr int IDC_DOWNLOADING_NAME = 1079;
constexpr int IDC_INSTALLING_NAME = 1081;
constexpr int IDC_RATE = 1082;
constexpr int IDC_CLIENT_CANCEL = 1083;

// Commands of the context menus and tool buttons.
constexpr int ID_FILE_ACTIVATE = 32776;
constexpr int ID_FILE_DEACTIVATE = 32777;
constexpr int ID_FILE_SELECT_CHILDREN = 32772;
constexpr int ID_FILE_OPEN_FOLDER = 33012;
constexpr int ID_FILE_BIND_NEW = 32774;
constexpr int ID_FILE_BIND_FIRST = 32778; // 32778-32977: bind to package id - 32778
constexpr int ID_FILE_UNBIND = 32775;
constexpr int ID_PACKAGE_ACTIVATE = 33001;
constexpr int ID_PACKAGE_DEACTIVATE = 33002;
constexpr int ID_PACKAGE_EDIT = 33006;
constexpr int ID_PACKAGE_SHOW_FILES = 33005;
constexpr int ID_PACKAGE_DISSOLVE = 33003;
constexpr int ID_PACKAGE_UNINSTALL = 33004;
constexpr int ID_OFFERED_FLAG = 33007;
constexpr int ID_OFFERED_DEFLAG = 33008;
constexpr int ID_OFFERED_SHOW_FILES = 33009;
// Packages and Advanced views: re-read the files and compare them with the database.
constexpr int ID_VERIFY_FILES = 33013;

} // namespace quillory::ui
