#pragma once
// Control ids of the watch program's dialogs; the tooltip texts are looked up by them.

namespace quillory::ui {

// Standard buttons.
constexpr int IDC_OK = 1;
constexpr int IDC_CANCEL = 2;

// Main window.
constexpr int IDC_DESCRIPTION = 1001;
constexpr int IDC_MISSION = 1002;
constexpr int IDC_NOTIFY = 1009;
constexpr int IDC_LAUNCH_WHEN_ENDS = 1010;
constexpr int IDC_ABOUT = 1011;
constexpr int IDC_TYPE = 1012;
constexpr int IDC_REQUIRED = 1013;
constexpr int IDC_LOGGED_ON = 1014;
constexpr int IDC_STATUS = 1015;
constexpr int IDC_PLAY_NOW = 1016;
constexpr int IDC_PING = 1017;
constexpr int IDC_ADD = 1018;
constexpr int IDC_VERSION = 1019;
constexpr int IDC_MANAGER = 1021;
constexpr int IDC_LINK = 1022;
constexpr int IDC_LOCKED = 1023;
constexpr int IDC_MAP = 1024;
constexpr int IDC_TIME_LEFT = 1025;
constexpr int IDC_EDIT = 1026;
constexpr int IDC_SERVER_LIST = 1027;
constexpr int IDC_PLAYERS = 1028;
constexpr int IDC_PLATFORM = 1029;
constexpr int IDC_PORT = 1030;
constexpr int IDC_IMPL = 1031;
constexpr int IDC_PARAM = 1032;
constexpr int IDC_DELETE = 1033;
constexpr int IDC_GANTRY = 1034;
constexpr int IDC_BROWSER = 1035;
constexpr int IDC_NEWS = 1036;
constexpr int IDC_ADDRESS_LABEL = 1037;
constexpr int IDC_PASSWORD_LABEL = 1038;
constexpr int IDC_CONFIG = 1041;
constexpr int IDC_ALARM = 1044;

// "Server" dialog.
constexpr int IDC_SERVER_ADDRESS = 1039;
constexpr int IDC_SERVER_PASSWORD = 1042;
constexpr int IDC_SERVER_DESCRIPTION = 1045;
constexpr int IDC_SERVER_PARAMETERS = 1048;

// Scan wait dialog; the Gantry warning's text has the same id.
constexpr int IDC_SCAN_TEXT = 1066;
constexpr int IDC_WARNING_TEXT = 1066;

// Gantry warning: "Force connect".
constexpr int IDC_FORCE_CONNECT = 3;

// Path setup dialog.
constexpr int IDC_PATH_FOLDER = 1062;
constexpr int IDC_PATH_BROWSE = 1063;
constexpr int IDC_PATH_SEARCH = 1064;

// Configuration dialog.
constexpr int IDC_CONFIG_GAME_FOLDER = 1090;
constexpr int IDC_CONFIG_DISABLE_GANTRY = 1091;
constexpr int IDC_CONFIG_BROWSE = 1092;

// "Gantry Server Browser".
constexpr int IDC_BROWSER_LIST = 1084;
constexpr int IDC_BROWSER_UPRISING = 1085;
constexpr int IDC_BROWSER_IRONVALE = 1086;
constexpr int IDC_BROWSER_TITLE = 1087;

} // namespace quillory::ui
