/* STUCK.NBA: message 4 never returns (the player's time limit ends it); message 1 crashes. */
#include "win32_plugin.h"

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    volatile int forever = 1;
    switch (get16(b, NBA_OFF_COMMAND)) {
    case NBA_MSG_RUN:
        while (forever) Sleep(10);
        break;
    case NBA_MSG_ABOUT:
        *(volatile int*)(uintptr_t)get32(b, 8) = 1;  /* offset 8 is always 0 */
        break;
    }
    return 0;
}
