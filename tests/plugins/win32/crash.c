/* CRASH.NBA: message 4 writes through a null pointer. */
#include "win32_plugin.h"

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    if (get16(b, NBA_OFF_COMMAND) == NBA_MSG_RUN) *(volatile int*)(uintptr_t)get32(b, 8) = 1;  /* offset 8 is 0 */
    return 0;
}
