/* WINXTRA.xtr: an Extra. Message 3 writes its menu title into the global memory handle of p2
   (room for p1 characters and a NUL); message 4 shows the number of cards (callbacks 14, 68). */
#include <stdio.h>

#include "win32_plugin.h"

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    static const char title[] = "Windows Extra...";
    static uint8_t text[64];
    switch (get16(b, NBA_OFF_COMMAND)) {
    case NBA_MSG_PARAM: {
        HGLOBAL room = (HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM2);
        char* p = (char*)GlobalLock(room);
        if (!p || get32(b, NBA_OFF_PARAM1) < sizeof title || GlobalSize(room) < sizeof title) return 1;
        memcpy(p, title, sizeof title);
        GlobalUnlock(room);
        return 0;
    }
    case NBA_MSG_RUN: {
        char line[32];
        callBack(b, 14);
        snprintf(line, sizeof line, "Cards: %u", (unsigned)get32(b, NBA_OFF_PARAM1));
        put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)counted(text, line));
        callBack(b, NBA_CMD_ALERT);
        return 0;
    }
    }
    return 0;
}
