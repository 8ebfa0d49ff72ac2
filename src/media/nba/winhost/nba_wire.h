/*
 * What crosses between the player and nbahost.exe, the host that runs 32-bit Windows plug-ins
 * under Wine: the frames, and the one table saying, for every message and callback command,
 * which parameters are Handles, counted strings, points or rectangles and which way they go.
 * Plain C: the player (C++, Linux) and the host (C, MinGW i686) both include it.
 *
 * A frame is a u32 length (of what follows), a u32 type, then the payload; all little-endian.
 * Payloads of CALL, CALLBACK, ANSWER and RETURN:
 *   78 bytes   the block; Handle slots hold the sender's numbers (the player's Handle, or the
 *              host's HGLOBAL), string/point/rectangle slots are filled in by the receiver
 *   u32 n, then n Handle mirrors: u32 player, u32 hglobal, u32 size, size bytes
 *              (player 0: a Handle the plug-in made; hglobal 0: not yet in the host;
 *               size NBA_WIRE_GONE: the Handle is gone, free the mirror)
 *   u32 m, then m data items: u32 block offset, u32 size, size bytes
 *              (the counted string, point or rectangle a slot names)
 */
#ifndef CORVELLA_NBA_WIRE_H
#define CORVELLA_NBA_WIRE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum NBAWireFrame {
    NBA_WIRE_HELLO = 1,    /* host -> player at start: u32 protocol version */
    NBA_WIRE_LOAD = 2,     /* player -> host: the library's path (a Unix path, no NUL) */
    NBA_WIRE_LOADED = 3,   /* host -> player: u32 library (0 failed), u32 has NBAMain, u32 has
                              resources, u16 flags, u16 id, then three texts (u32 size, bytes):
                              string 1, string 3, "ABOUT_STR"; or u32 0 and an error text */
    NBA_WIRE_CALL = 4,     /* player -> host: u32 library, then the block payload */
    NBA_WIRE_CALLBACK = 5, /* host -> player: the plug-in called back; the block payload */
    NBA_WIRE_ANSWER = 6,   /* player -> host: the callback's answer; the block payload */
    NBA_WIRE_RETURN = 7,   /* host -> player: NBAMain returned: i32 value, then the block payload */
    NBA_WIRE_UNLOAD = 8,   /* player -> host: u32 library; no answer */
    NBA_WIRE_QUIT = 9      /* player -> host: the host ends */
};

#define NBA_WIRE_VERSION 1
/* Parameter i (0 to 4) of the block. */
#define NBA_PARAM_OFF(i) (50 + 4 * (i))
#define NBA_WIRE_GONE 0xFFFFFFFFu
/* No frame is larger: a plug-in's Handles crossing all at once stay well under it. */
#define NBA_WIRE_MAX_FRAME (64u * 1024u * 1024u)

/* ---- The marshalling table ----------------------------------------------------------------- */
/* A parameter's kind, in the low 4 bits; the direction in the high bits. */
enum NBAWireKind {
    NBA_K_INT = 0,
    NBA_K_HANDLE = 1,   /* a Handle: an HGLOBAL in the host, mirrored */
    NBA_K_CSTRING = 2,  /* the address of a counted string (length byte, then the text) */
    NBA_K_POINT = 3,    /* the address of two int32 */
    NBA_K_RECT = 4      /* the address of four int32 */
};
#define NBA_K_IN 0x10       /* the caller gives it (a plug-in calling back, the player sending a message) */
#define NBA_K_OUT 0x20      /* the callee answers with it */
/* Only when a condition holds (the value is otherwise a number or undefined): */
#define NBA_K_IF_P1_LOW_0 0x40   /* p1's low 16 bits are 0 (a name instead of an id) */
#define NBA_K_IF_BY_TEXT 0x80    /* p1's high 16 bits are NBA_CARD_BY_TEXT (p4 a card name) */
#define NBA_K_IF_P2_0 0x100      /* p2 is 0 */
#define NBA_K_IF_P2_NOT_0 0x200  /* p2 is not 0 */
#define NBA_K_KIND(d) ((d) & 0x0F)

typedef struct NBAWireEntry {
    uint16_t code;
    uint16_t param[5];
} NBAWireEntry;

#define NBA_W_CS_IN (NBA_K_CSTRING | NBA_K_IN)
#define NBA_W_CS_OUT (NBA_K_CSTRING | NBA_K_OUT)
#define NBA_W_H_IN (NBA_K_HANDLE | NBA_K_IN)
#define NBA_W_H_OUT (NBA_K_HANDLE | NBA_K_OUT)
#define NBA_W_RECT_IN (NBA_K_RECT | NBA_K_IN)
#define NBA_W_PT_IN (NBA_K_POINT | NBA_K_IN)
/* The object lookup's names: p3 the object's name unless p1 holds its id, p4 the card's. */
#define NBA_W_LOOKUP 0, 0, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT

/* Callback commands (plug-in -> player). Commands not listed take and answer integers only. */
static const NBAWireEntry nbaWireCallbacks[] = {
    {5, {0, 0, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, 0, 0}},
    {8, {NBA_W_CS_IN, 0, 0, 0, 0}},
    {10, {0, 0, NBA_W_CS_IN, NBA_W_CS_IN, 0}},
    {15, {NBA_W_H_OUT, 0, 0, 0, 0}},
    {16, {NBA_W_H_IN, 0, 0, 0, 0}},  /* the host answers GlobalLock's address itself */
    {17, {NBA_W_H_IN, 0, 0, 0, 0}},
    {18, {NBA_W_H_IN, 0, 0, 0, 0}},
    {19, {NBA_W_H_OUT, 0, 0, 0, 0}},
    {20, {NBA_W_H_OUT, 0, 0, 0, 0}},
    {21, {NBA_W_H_IN | NBA_W_H_OUT, 0, 0, 0, 0}},
    {22, {NBA_W_H_IN | NBA_W_H_OUT, 0, 0, 0, 0}},
    {23, {NBA_W_H_OUT, 0, 0, 0, 0}},
    {24, {NBA_W_LOOKUP, 0}},
    {25, {NBA_W_H_IN, 0, NBA_W_CS_OUT, 0, 0}},
    {26, {NBA_W_LOOKUP, 0}},
    {27, {NBA_W_LOOKUP, 0}},
    {28, {NBA_W_LOOKUP, 0}},
    {29, {NBA_W_LOOKUP, NBA_W_CS_IN}},
    {30, {0, 0, 0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT, 0}},
    {31, {NBA_K_RECT | NBA_K_OUT, 0, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT, 0}},
    {32, {NBA_W_LOOKUP, NBA_W_RECT_IN}},
    {33, {NBA_W_LOOKUP, NBA_W_PT_IN}},
    {35, {NBA_W_H_IN, 0, 0, 0, 0}},
    {36, {0, 0, 0, 0, NBA_W_PT_IN}},
    {37, {NBA_W_LOOKUP, 0}},
    {39, {NBA_W_LOOKUP, NBA_W_PT_IN}},
    {43, {NBA_W_LOOKUP, 0}},
    {48, {0, 0, NBA_W_CS_IN, 0, 0}},
    {49, {0, 0, NBA_W_CS_OUT, 0, 0}},
    {58, {NBA_W_H_OUT, NBA_W_H_OUT, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT, 0}},
    {59, {0, NBA_W_H_IN, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT, NBA_W_H_IN}},
    {61, {NBA_W_LOOKUP, 0}},
    {62, {0, NBA_W_H_IN, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, NBA_W_CS_IN | NBA_K_IF_BY_TEXT, 0}},
    {64, {0, 0, 0, NBA_W_H_OUT, 0}},
    {67, {0, NBA_W_H_IN | NBA_W_H_OUT, NBA_W_CS_IN | NBA_K_IF_P1_LOW_0, 0, 0}},
    {68, {NBA_W_CS_IN, 0, 0, 0, 0}},
    {71, {NBA_W_CS_OUT, NBA_W_CS_OUT, NBA_W_CS_OUT, 0, 0}},
    {73, {NBA_W_H_IN, 0, 0, 0, 0}},
    {81, {0, 0, 0, 0, NBA_W_RECT_IN}},
    {100, {NBA_W_CS_OUT, 0, 0, 0, 0}},
    {101, {0, 0, NBA_W_CS_IN, 0, 0}},
    {114, {0, 0, NBA_W_CS_IN, 0, 0}},
    {117, {NBA_W_H_IN, 0, 0, 0, 0}},
    {122, {NBA_W_LOOKUP, 0}},
    {124, {NBA_W_LOOKUP, 0}},
    {125, {NBA_W_LOOKUP, 0}},
    {131, {0, 0, 0, 0, NBA_W_PT_IN}},
    {146, {0, 0, 0, 0, NBA_W_RECT_IN}},
    {148, {NBA_W_CS_IN | NBA_K_IF_P2_0, 0, NBA_W_H_IN | NBA_K_IF_P2_NOT_0, 0, 0}},
    {149, {NBA_W_H_OUT, 0, 0, 0, 0}},
    {152, {NBA_W_H_IN | NBA_W_H_OUT, 0, 0, 0, 0}},
    {159, {NBA_W_CS_IN | NBA_W_CS_OUT, 0, 0, 0, 0}},
    {160, {NBA_W_CS_IN, NBA_W_CS_IN, 0, 0, 0}},
    {172, {NBA_W_H_IN, 0, 0, 0, 0}},
    {174, {NBA_W_CS_OUT, 0, 0, 0, 0}},
};

/* Messages (player -> plug-in). The card record (offset 4) always crosses as a Handle given,
   the result (offset 74) as a Handle answered. */
static const NBAWireEntry nbaWireMessages[] = {
    {3, {0, NBA_W_H_IN, 0, 0, 0}},
    {4, {NBA_W_H_IN, 0, 0, 0, 0}},
};

/* The entry for `code` in `table`, or 0 (integers only). */
static inline const NBAWireEntry* nbaWireFind(const NBAWireEntry* table, unsigned count, int code) {
    unsigned i;
    for (i = 0; i < count; ++i)
        if (table[i].code == code) return &table[i];
    return 0;
}

/* Whether parameter `i` (0 to 4) is of `dir` (NBA_K_IN or NBA_K_OUT) with the block's
   parameters `p` as they are now; its kind, or -1. */
static inline int nbaWireKindOf(const NBAWireEntry* e, int i, unsigned dir, const uint32_t p[5]) {
    uint16_t d;
    if (!e) return -1;
    d = e->param[i];
    if (!(d & dir)) return -1;
    if ((d & NBA_K_IF_P1_LOW_0) && (p[0] & 0xFFFFu) != 0) return -1;
    if ((d & NBA_K_IF_BY_TEXT) && (p[0] >> 16) != 0xFFFEu) return -1;
    if ((d & NBA_K_IF_P2_0) && p[1] != 0) return -1;
    if ((d & NBA_K_IF_P2_NOT_0) && p[1] == 0) return -1;
    return NBA_K_KIND(d);
}

#ifdef __cplusplus
}
#endif

#endif /* CORVELLA_NBA_WIRE_H */
