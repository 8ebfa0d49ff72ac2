/*
 * The plug-in interface of Corvella Player: the parameter block that the player and its
 * plug-ins (and the scripts' CB... primitives) share, the commands a plug-in may send back,
 * and the table of host functions that reads what a reference names.
 *
 * Plain C, no dependencies: plug-in authors include this file as it is.
 *
 * The block is 78 bytes, little-endian, at fixed offsets. Fields that hold an address in the
 * 32-bit original (a counted string, a point, a rectangle, a block of data) hold a reference
 * here: the number of a Handle that the player, the script or the plug-in made through the
 * host table. A reference is never a pointer. The player refuses a reference that names no
 * such Handle, or a Handle too small for what the command reads: the command then does
 * nothing. What a reference names:
 *   counted string  a length byte, then that many characters (Windows-1252)
 *   point           two int32 values x, y (little-endian)
 *   rectangle       four int32 values left, top, right, bottom (little-endian)
 *   text, data      the Handle's bytes, its size being the length
 * In the block the player hands to a native plug-in, a pointer to the host table follows the
 * 78 bytes at offset NBA_HOST_TABLE_OFFSET.
 */
#ifndef CORVELLA_NBA_ABI_H
#define CORVELLA_NBA_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The parameter block ---------------------------------------------------------------- */
#define NBA_BLOCK_SIZE 78
#define NBA_BLOCK_VERSION 5

#define NBA_OFF_CALLER_CONTEXT 0   /* u16 */
#define NBA_OFF_CARD_NUMBER 2      /* i16: the current card's number */
#define NBA_OFF_CARD_RECORD 4      /* u32: the current card's record Handle */
#define NBA_OFF_MODULE 12          /* u32 */
#define NBA_OFF_CALLBACK 16        /* u32: non-zero when the host table can be called */
#define NBA_OFF_FRAME_WINDOW 20    /* u32 */
#define NBA_OFF_BUSY_STATE 24      /* u32 */
#define NBA_OFF_DATA 28            /* u32: the plug-in's data word */
#define NBA_OFF_VERSION 44         /* u16: NBA_BLOCK_VERSION */
#define NBA_OFF_COMMAND 46         /* u16: message to the plug-in, or command to the player */
#define NBA_OFF_PARAM1 50          /* u32 each, parameters 1 to 5 */
#define NBA_OFF_PARAM2 54
#define NBA_OFF_PARAM3 58
#define NBA_OFF_PARAM4 62
#define NBA_OFF_PARAM5 66
#define NBA_OFF_NBA_ID 70          /* u16 */
#define NBA_OFF_RESULT 74          /* u32: a result Handle left by a called plug-in */
#define NBA_PARAM_OFFSET(i) (NBA_OFF_PARAM1 + 4 * ((i) - 1))

/* Where the host table's pointer lies in the block a native plug-in is given. */
#define NBA_HOST_TABLE_OFFSET 80
#define NBA_NATIVE_BLOCK_SIZE (NBA_HOST_TABLE_OFFSET + 8)

typedef int32_t NBARef;   /* a Handle number; 0 is none */

typedef struct NBAPoint {
    int32_t x, y;
} NBAPoint;

typedef struct NBARect {
    int32_t left, top, right, bottom;
} NBARect;

/* ---- The host table ----------------------------------------------------------------------- */
typedef struct NBAHostTable {
    uint32_t size;      /* sizeof(NBAHostTable) as the player was built */
    uint32_t version;   /* NBA_BLOCK_VERSION */
    /* Runs the command now in the block; results come back in the parameters. */
    void (*callback)(void);
    /* The data of a reference, or 0 when it names no block of the interface. */
    uint8_t* (*lockHandle)(NBARef ref);
    void (*unlockHandle)(NBARef ref);
    /* The size of a reference's block; 0 when it names none. */
    uint32_t (*handleSize)(NBARef ref);
    /* A new block of the interface (0 when memory is short) and its disposal. */
    NBARef (*newHandle)(uint32_t size);
    void (*disposeHandle)(NBARef ref);
} NBAHostTable;

/* ---- Commands to the player (the command field, 0 to 178) --------------------------------- */
#define NBA_COMMAND_COUNT 179

enum NBACommand {
    NBA_CMD_FIRST_CARD = 1,       /* p1 transition, p2 speed */
    NBA_CMD_LAST_CARD = 2,
    NBA_CMD_PREVIOUS_CARD = 3,
    NBA_CMD_NEXT_CARD = 4,
    NBA_CMD_GO_TO_CARD = 5,       /* p1 low: card id, or 0 and p3 a card name or number;
                                     p2: transition (low 16) and speed (high 16) */
    NBA_CMD_REDRAW_CARD = 6,
    NBA_CMD_FIND_TEXT = 8,        /* p1 text, p2 start -> p2 where found, or -1 */
    NBA_CMD_MENU = 10,            /* p3 menu title, p4 item text */
    NBA_CMD_LOOKUP = 24,          /* see "object lookup" below */
    NBA_CMD_HIDE = 26,
    NBA_CMD_SHOW = 27,
    NBA_CMD_GET_RECT = 31,        /* -> p1 a rectangle, valid until the next command */
    NBA_CMD_SET_RECT = 32,        /* p5 a rectangle */
    NBA_CMD_OBJECT_INFO = 35,     /* p1 card record Handle, p2 object offset */
    NBA_CMD_GET_POSITION = 37,    /* -> p1 x, p2 y of the centre */
    NBA_CMD_IDLE = 42,
    NBA_CMD_PRESS_BUTTON = 43,
    NBA_CMD_SCORE = 49,           /* -> p1 answered, p2 right, p3 the user's name */
    NBA_CMD_QUIT = 57,
    NBA_CMD_GET_TEXT = 58,        /* -> p1 text, p2 style runs, p3/p4 selection */
    NBA_CMD_SET_TEXT = 59,        /* p2 text, p5 style runs or 0 */
    NBA_CMD_CALL_NBA = 67,
    NBA_CMD_ALERT = 68,           /* p1 text -> p1 52, 53 or 54 */
    NBA_CMD_BACKGROUND_DIRTY = 70,
    NBA_CMD_CURRENT_NAMES = 71,   /* -> p1 button, p2 text object, p3 graphic object */
    NBA_CMD_DRAW_TO_SCREEN = 85,
    NBA_CMD_DRAW_OFFSCREEN = 86,  /* -> p1 non-zero when drawing goes off screen */
    NBA_CMD_MEDIA_STATUS = 89,    /* -> p1 movie, p2 sound, p3 animation, p4 video */
    NBA_CMD_INVERT = 122,
    NBA_CMD_TRANSITION_NAME = 148,/* p2 != 0: p1 number -> name into p3; p2 = 0: p1 name -> p1 number */
    NBA_CMD_LOCK_SCREEN = 170,
    NBA_CMD_UNLOCK_SCREEN = 171,
    NBA_CMD_RUN_SCRIPT = 172      /* p1 text, p2 length; p3, p4, p5 zero */
};

/* The object lookup's inputs: p1 high 16 bits the card (0 current, NBA_CARD_BY_TEXT the card
   named or numbered by p4, NBA_CARD_ANY every card in order, else a card id), p1 low 16 bits
   the object id or 0 for the name in p3, p2 the kind (NBA_KIND_...). */
#define NBA_CARD_BY_TEXT 0xFFFEu
#define NBA_CARD_ANY 0xFFFFu
#define NBA_KIND_BUTTON 0
#define NBA_KIND_TEXT 1
#define NBA_KIND_GRAPHIC 2
#define NBA_KIND_CARD 3

/* ---- What a plug-in library exports ------------------------------------------------------ */
/* Every plug-in (an NBA, file name ending ".NBA", or an Extra, ".xtr") is a shared library
   exporting, with C linkage and the platform's C calling convention:

     int32_t NBAMain(uint8_t* block);
         The block is NBA_NATIVE_BLOCK_SIZE bytes: the 78-byte parameter block, then at
         NBA_HOST_TABLE_OFFSET a pointer to the player's NBAHostTable. The player ignores the
         value an NBA returns; an Extra returns 0 for success.

     const NBAResources* NBAGetResources(void);
         What the player reads when an NBA is registered (the resources of the original
         libraries). Optional for Extras. The texts are NUL-terminated Windows-1252 and must
         stay valid while the library is loaded. */
typedef struct NBAResources {
    uint32_t size;             /* sizeof(NBAResources) as the plug-in was built */
    const char* fileName;      /* the library's file name, at most 255 characters */
    const char* shortName;     /* a short name, at most 31 characters */
    const char* aboutText;     /* about text; only the part before the first '/' is kept */
    uint16_t aboutFlags;
    uint16_t nbaId;            /* the NBA's id, the number stacks call it by */
} NBAResources;

#define NBA_ENTRY_NAME "NBAMain"
#define NBA_RESOURCES_NAME "NBAGetResources"
typedef int32_t (*NBAMainFunction)(uint8_t* block);
typedef const NBAResources* (*NBAResourcesFunction)(void);

#if defined(_WIN32)
#define NBA_EXPORT __declspec(dllexport)
#else
#define NBA_EXPORT __attribute__((visibility("default")))
#endif

/* Messages the player sends (the command field while the player calls a plug-in). */
enum NBAMessage {
    NBA_MSG_ABOUT = 1,
    NBA_MSG_CLOSE = 2,
    NBA_MSG_PARAM = 3,        /* Extras: p1 the title's room (33), p2 a reference to 34 bytes */
    NBA_MSG_RUN = 4,          /* p1 a reference to the button's stored data, p2 its size */
    NBA_MSG_IDLE = 5,
    NBA_MSG_LEAVING_CARD = 9,
    NBA_MSG_ARRIVED = 10,
    NBA_MSG_EVENT = 11,       /* p1..p4 window, event, wParam, lParam; set p5 non-zero when handled */
    NBA_MSG_BUSY_QUERY = 14   /* set p1 to NBA_STILL_BUSY while still busy */
};
#define NBA_STILL_BUSY 0xFFFF00u

/* Window events of message 11 (Win32 numbering). For the mouse, lParam is y << 16 | x in card
   pixels; for keys, wParam is the virtual key (256) or the character (258); for commands
   (273) the menu command; for the timer (275) the timer's number. */
#define NBA_EVENT_KEY_DOWN 256
#define NBA_EVENT_CHAR 258
#define NBA_EVENT_COMMAND 273
#define NBA_EVENT_TIMER 275
#define NBA_EVENT_MOUSE_MOVE 512
#define NBA_EVENT_MOUSE_DOWN 513
#define NBA_EVENT_MOUSE_UP 514

#ifdef __cplusplus
}
#endif

#endif /* CORVELLA_NBA_ABI_H */
