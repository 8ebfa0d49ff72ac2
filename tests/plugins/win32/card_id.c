/* CARDID.NBA: locks the card record it is given (offset 4) with GlobalLock, and writes
   "Card <id>, <size> bytes" into a new Handle (callbacks 15, 16, 17) that it puts into the
   text object named "Notes" (callback 59) and leaves as its result (offset 74). */
#include <stdio.h>

#include "win32_plugin.h"

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    static uint8_t name[32];
    char line[64];
    HGLOBAL card, text;
    const uint8_t* record;
    char* to;
    int n;
    if (get16(b, NBA_OFF_COMMAND) != NBA_MSG_RUN) return 0;
    card = (HGLOBAL)(uintptr_t)get32(b, NBA_OFF_CARD_RECORD);
    record = (const uint8_t*)GlobalLock(card);
    if (!record) return 1;
    n = snprintf(line, sizeof line, "Card %u, %u bytes", (unsigned)(record[0] << 8 | record[1]),
                 (unsigned)GlobalSize(card));
    GlobalUnlock(card);

    put32(b, NBA_OFF_PARAM1, (uint32_t)n);
    callBack(b, 15);
    text = (HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM1);
    callBack(b, 16);
    to = (char*)(uintptr_t)get32(b, NBA_OFF_PARAM1);
    if (!to) return 2;
    memcpy(to, line, (size_t)n);
    put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)text);
    callBack(b, 17);

    put32(b, NBA_OFF_PARAM1, 0);
    put32(b, NBA_OFF_PARAM2, (uint32_t)(uintptr_t)text);
    put32(b, NBA_OFF_PARAM3, (uint32_t)(uintptr_t)counted(name, "Notes"));
    put32(b, NBA_OFF_PARAM4, 0);
    put32(b, NBA_OFF_PARAM5, 0);
    callBack(b, NBA_CMD_SET_TEXT);
    put32(b, NBA_OFF_RESULT, (uint32_t)(uintptr_t)text);
    return 0;
}
