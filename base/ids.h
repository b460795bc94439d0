// Resource and message ids shared by the launcher's code and its resource
// script (so: preprocessor constants only).
#pragma once

#define IDS_SCRIPT_MISSING      7061  // format text, one %s: the script path
#define IDS_LAUNCH_FAILED       7062
#define IDS_NO_WORK_DIRECTORY   7063
#define IDS_EXPAND_BOOTSTRAP    7064
#define IDS_EXPAND_ENGINE       7065
#define IDS_EXPAND_COMPANION    7066
#define IDS_UNCLOSED_QUOTE      7067  // format text, one %s: the argument
#define IDS_LIBRARY_MISSING     7068
#define IDS_PIECES_BOOTSTRAP    7100  // payload piece counts, and payload base ids
#define IDS_PIECES_ENGINE       7200
#define IDS_PIECES_COMPANION    7300
#define IDS_CAPTION_REDIRECTED  7110
#define IDS_SPLASH_MINIMUM      7111
#define IDS_CAPTION_OWN         7112

#define PAYLOAD_BOOTSTRAP       7100
#define PAYLOAD_ENGINE          7200
#define PAYLOAD_COMPANION       7300
#define RT_PAYLOAD_PIECE        3000  // resource type of the SZDD pieces
#define RES_PAYLOAD_RECORD      7099  // payload check record (base/payload_record.h), type 3000

#define IDI_LAUNCHER            7001
#define IDD_SPLASH_DEFAULT      7500  // default splash, from the resource library
#define IDD_SPLASH_FRAME        7501  // empty frame for bitmap and text splashes

#define RT_LANG_TABLE           1001  // language table and logo scripts
#define RES_LANG_TABLE_NAME     100
