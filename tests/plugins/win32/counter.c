/* COUNTWIN.NBA: counts its runs in the data word and shows the count with alert 68; the
   alert's answer is left in parameter 3. */
#include <stdio.h>

#include "win32_plugin.h"

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    static uint8_t text[256];
    char line[64];
    uint32_t n;
    if (get16(b, NBA_OFF_COMMAND) != NBA_MSG_RUN) return 0;
    n = get32(b, NBA_OFF_DATA) + 1;
    snprintf(line, sizeof line, "Count: %u", (unsigned)n);
    put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)counted(text, line));
    callBack(b, NBA_CMD_ALERT);
    put32(b, NBA_OFF_PARAM3, get32(b, NBA_OFF_PARAM1));
    put32(b, NBA_OFF_DATA, n);
    return 0;
}
