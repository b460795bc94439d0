// The numbers and names the launcher, its resource scripts and the tools
// share: resource and message ids, payload file names, text capacities,
// splash types and the language table's kinds. Portable: no <windows.h>.
// Resource scripts see only the preprocessor constants (enums are behind
// RC_INVOKED).
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

// The payloads' files in the work directory.
#define BOOTSTRAP_FILE          "_INS0366._MP"
#define ENGINE_FILE             "_INS0466._MP"
#define ENGINE_FILE_EXE         "_INS0466.EXE"  // the engine's name with -e
#define COMPANION_FILE          "_INS0166._MP"

#ifndef RC_INVOKED

enum {
    kCaptionChars = 80,         // buffer of an error box's caption (79 characters and the terminator)
    kTextChars = 244,           // buffer of an error box's text as loaded
    kPieceCountChars = 10,      // buffer of a payload's piece count string
    kPayloadIdSpan = 100,       // ids base .. base + 99 name one payload's pieces
};

// Kinds of resource that the language table redirects (an entry's kind).
enum ResKind {
    RES_KIND_STRING = 1,
    RES_KIND_DIALOG = 2,
    RES_KIND_ICON = 3,
    RES_KIND_BITMAP = 4,
};

// Splash types, as the language table's header gives them.
enum SplashType {
    SPLASH_TYPE_DIALOG = 2,    // a dialog template of the primary library
    SPLASH_TYPE_BITMAP = 4,    // a bitmap of the primary library
    SPLASH_TYPE_LOGO = 5,      // a logo script, resource type 1001 of the library file
    SPLASH_TYPE_DEFAULT = 8,   // the default dialog 7500 through the redirection
    SPLASH_TYPE_NONE = 9,      // no splash
};

enum {
    kSplashEntryKind = 6,      // kind of the table's SPLASH entry
    kSplashNameBuffer = 60,    // the splash name: at most 59 characters
    kSplashIdBuffer = 20,      // the id text: at most 19 characters
    kSplashMinimumCap = 30000, // longest minimum display time, ms
};

#endif
