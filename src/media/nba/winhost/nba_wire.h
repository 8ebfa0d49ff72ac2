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
 *              (the counted string, point, rectangle or file path a slot names)
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
    NBA_WIRE_QUIT = 9,     /* player -> host: the host ends */
    NBA_WIRE_PLACE = 10,   /* player -> host: where the card is on the screen, i32 x, i32 y,
                              u32 width, u32 height; the frame window moves there. No answer */
    NBA_WIRE_WAITING = 11, /* host -> player, at any time: a call is under way and the plug-in is
                              answering its window messages (a dialog waits for the person), so
                              it is not stuck; no payload. The player reads past it */
    NBA_WIRE_IDLE_CALLBACK = 12, /* host -> player, at any time: a plug-in's window or timer called
                                    back between calls; a CALLBACK payload. The player answers it
                                    wherever it reads it (between calls: at its next idle moment) */
    NBA_WIRE_IDLE_ANSWER = 13    /* player -> host: its answer; an ANSWER payload */
};

#define NBA_WIRE_VERSION 1
/* Parameter i (0 to 4) of the block. */
#define NBA_PARAM_OFF(i) (50 + 4 * (i))
#define NBA_WIRE_GONE 0xFFFFFFFFu
/* No frame is larger: a plug-in's Handles crossing all at once stay well under it. */
#define NBA_WIRE_MAX_FRAME (64u * 1024u * 1024u)

/* ---- The marshalling table ----------------------------------------------------------------- */
/* For each parameter, what the caller gives (in) and what the callee answers (out): a kind in
   the low 4 bits, and for "in" a condition under which it holds. An "out" of 0 means the
   parameter is put back as it was given (an address or Handle the caller gave returns to it);
   NBA_K_SET | NBA_K_INT is a number answered in a parameter that was given as an address. */
enum NBAWireKind {
    NBA_K_INT = 0,
    NBA_K_HANDLE = 1,   /* a Handle: an HGLOBAL in the host, mirrored */
    NBA_K_CSTRING = 2,  /* the address of a counted string (length byte, then the text) */
    NBA_K_POINT = 3,    /* the address of two int32 */
    NBA_K_RECT = 4,     /* the address of four int32 */
    NBA_K_FILELOC = 5   /* the address of a file-location record: its path text, up to a NUL */
};
/* The most of a file-location record's path that crosses (the player reads no more of it). */
#define NBA_FILELOC_MAX 260u
#define NBA_K_SET 0x10   /* marks a descriptor as said (NBA_K_INT alone would read as none) */
/* Only when a condition on the given parameters holds (else the value is a number): */
#define NBA_K_IF_P1_LOW_0 0x40   /* p1's low 16 bits are 0 (a name instead of an id) */
#define NBA_K_IF_BY_TEXT 0x80    /* p1's high 16 bits are NBA_CARD_BY_TEXT (p4 a card name) */
#define NBA_K_IF_P2_0 0x100      /* p2 is 0 */
#define NBA_K_IF_P2_NOT_0 0x200  /* p2 is not 0 */
#define NBA_K_KIND(d) ((d) & 0x0F)

typedef struct NBAWireEntry {
    uint16_t code;
    uint16_t in[5];
    uint16_t out[5];
} NBAWireEntry;

#define CS (NBA_K_CSTRING | NBA_K_SET)
#define HD (NBA_K_HANDLE | NBA_K_SET)
#define RC (NBA_K_RECT | NBA_K_SET)
#define PT (NBA_K_POINT | NBA_K_SET)
#define NUM (NBA_K_INT | NBA_K_SET)
#define FL (NBA_K_FILELOC | NBA_K_SET)
/* The object lookup's names: p3 the object's name unless p1 holds its id, p4 the card's. */
#define LOOKUP_IN 0, 0, CS | NBA_K_IF_P1_LOW_0, CS | NBA_K_IF_BY_TEXT
/* Its answers (the lookup alone): p1 the offset, p2 the card record, p3 the card first chosen. */
#define LOOKUP_OUT NUM, HD, HD, 0, 0

/* Callback commands (plug-in -> player). Commands not listed take and answer numbers only. */
static const NBAWireEntry nbaWireCallbacks[] = {
    {5, {0, 0, CS | NBA_K_IF_P1_LOW_0, 0, 0}, {0}},
    {8, {CS, 0, 0, 0, 0}, {0, NUM, 0, 0, 0}},
    {10, {0, 0, CS, CS, 0}, {0}},
    {15, {0}, {HD, 0, 0, 0, 0}},
    {16, {HD, 0, 0, 0, 0}, {0}},  /* the host answers GlobalLock's address itself */
    {17, {HD, 0, 0, 0, 0}, {0}},
    {18, {HD, 0, 0, 0, 0}, {0}},
    {19, {0}, {HD, 0, 0, 0, 0}},
    {20, {0}, {HD, NUM, 0, 0, 0}},
    {21, {HD, 0, 0, 0, 0}, {HD, NUM, 0, 0, 0}},
    {22, {HD, 0, 0, 0, 0}, {HD, NUM, 0, 0, 0}},
    {23, {0}, {HD, NUM, 0, 0, 0}},
    {24, {LOOKUP_IN, 0}, {LOOKUP_OUT}},
    {25, {HD, 0, 0, 0, 0}, {NUM, NUM, CS, NUM, 0}},
    {26, {LOOKUP_IN, 0}, {0}},
    {27, {LOOKUP_IN, 0}, {0}},
    {28, {LOOKUP_IN, 0}, {NUM, NUM, CS, NUM, 0}},
    {29, {LOOKUP_IN, CS}, {0}},
    {30, {0, 0, 0, CS | NBA_K_IF_BY_TEXT, 0}, {NUM, 0, 0, 0, 0}},
    {31, {LOOKUP_IN, 0}, {RC, 0, 0, 0, 0}},
    {32, {LOOKUP_IN, RC}, {0}},
    {33, {LOOKUP_IN, PT}, {0}},
    {34, {0}, {NUM, HD, 0, 0, 0}},
    {35, {HD, 0, 0, 0, 0}, {NUM, NUM, NUM, NUM, NUM}},
    {36, {0, 0, 0, 0, PT}, {NUM, NUM, 0, 0, 0}},
    {37, {LOOKUP_IN, 0}, {NUM, NUM, 0, 0, 0}},
    {39, {LOOKUP_IN, PT}, {0}},
    {43, {LOOKUP_IN, 0}, {0}},
    {48, {0, 0, CS, 0, 0}, {NUM, NUM, 0, 0, 0}},
    {49, {0}, {NUM, NUM, CS, 0, 0}},
    {54, {FL, 0, 0, 0, 0}, {0}},
    {58, {LOOKUP_IN, 0}, {HD, HD, NUM, NUM, 0}},
    {59, {0, HD, CS | NBA_K_IF_P1_LOW_0, CS | NBA_K_IF_BY_TEXT, HD}, {0}},
    {61, {LOOKUP_IN, 0}, {NUM, 0, 0, 0, 0}},
    {62, {0, HD, CS | NBA_K_IF_P1_LOW_0, CS | NBA_K_IF_BY_TEXT, 0}, {0}},
    {64, {0}, {NUM, NUM, NUM, HD, 0}},
    {67, {0, HD, CS | NBA_K_IF_P1_LOW_0, 0, 0}, {0, HD, 0, 0, 0}},
    {68, {CS, 0, 0, 0, 0}, {NUM, 0, 0, 0, 0}},
    {71, {0}, {CS, CS, CS, 0, 0}},
    {73, {HD, 0, 0, 0, 0}, {NUM, 0, 0, 0, 0}},
    {81, {0, 0, 0, 0, RC}, {0}},
    {100, {0}, {CS, NUM, NUM, NUM, 0}},
    {101, {0, 0, CS, 0, 0}, {0}},
    {114, {0, 0, CS, 0, 0}, {NUM, 0, 0, 0, 0}},
    {117, {HD, 0, 0, 0, 0}, {0}},
    {122, {LOOKUP_IN, 0}, {0}},
    {124, {LOOKUP_IN, 0}, {0}},
    {125, {LOOKUP_IN, 0}, {0}},
    {131, {0, 0, 0, 0, PT}, {NUM, 0, 0, 0, 0}},
    {146, {0, 0, 0, 0, RC}, {0}},
    {148, {CS | NBA_K_IF_P2_0, 0, HD | NBA_K_IF_P2_NOT_0, 0, 0}, {NUM, 0, 0, 0, 0}},
    {149, {0}, {HD, 0, 0, 0, 0}},
    {152, {HD, 0, 0, 0, 0}, {HD, 0, 0, 0, 0}},
    {159, {CS, 0, 0, 0, 0}, {CS, 0, 0, 0, 0}},
    {160, {CS, CS, 0, 0, 0}, {NUM, 0, 0, 0, 0}},
    {172, {HD, 0, 0, 0, 0}, {0}},
    {174, {0}, {CS, 0, 0, 0, 0}},
};

/* Messages (player -> plug-in). The card record (offset 4) always crosses as a Handle given,
   the result (offset 74) as a Handle answered. */
static const NBAWireEntry nbaWireMessages[] = {
    {3, {0, HD, 0, 0, 0}, {0}},
    {4, {HD, 0, 0, 0, 0}, {0}},
};

#undef CS
#undef HD
#undef RC
#undef PT
#undef NUM
#undef FL
#undef LOOKUP_IN
#undef LOOKUP_OUT

/* The entry for `code` in `table`, or 0 (numbers only). */
static inline const NBAWireEntry* nbaWireFind(const NBAWireEntry* table, unsigned count, int code) {
    unsigned i;
    for (i = 0; i < count; ++i)
        if (table[i].code == code) return &table[i];
    return 0;
}

/* The kind of parameter `i` (0 to 4) given (`answered` 0) or answered (1), with the
   given parameters `p`; -1 when nothing is said of it (a number given, or put back). */
static inline int nbaWireKind(const NBAWireEntry* e, int i, int answered, const uint32_t p[5]) {
    uint16_t d;
    if (!e) return -1;
    d = answered ? e->out[i] : e->in[i];
    if (!(d & NBA_K_SET)) return -1;
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
