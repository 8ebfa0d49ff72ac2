/* COUNTER.NBA: counts the times its button is pressed, or "+" is typed on the card. The count
   lives in the data word, which the player keeps in the stack's 'NBAs' record between calls
   (and in the file once the stack is saved), and is shown with the player's alert. */
#include <stdio.h>

#include "plugin_util.h"

static const NBAResources resources = {
    sizeof(NBAResources), "COUNTER.NBA", "Counter",
    "Counts the presses of its button and shows the count./Sample plug-in", 0, 1210,
};

NBA_EXPORT const NBAResources* NBAGetResources(void) { return &resources; }

static void count(uint8_t* block) {
    char text[64];
    const uint32_t n = get32(block, NBA_OFF_DATA) + 1;
    put32(block, NBA_OFF_DATA, n);
    snprintf(text, sizeof text, "Count: %u", (unsigned)n);
    alert(block, text);
    /* The alert's command used the block; the data word is what the player keeps. */
    put32(block, NBA_OFF_DATA, n);
}

NBA_EXPORT int32_t NBAMain(uint8_t* block) {
    switch (get16(block, NBA_OFF_COMMAND)) {
    case NBA_MSG_ABOUT:
        alert(block, "Counter, a sample plug-in of Corvella Player.");
        break;
    case NBA_MSG_RUN:
        count(block);
        break;
    case NBA_MSG_EVENT:
        /* A "+" typed on the card counts too, and goes no further. */
        if (get32(block, NBA_OFF_PARAM2) == NBA_EVENT_CHAR && get32(block, NBA_OFF_PARAM3) == '+') {
            count(block);
            put32(block, NBA_OFF_PARAM5, 1);
        }
        break;
    default:
        break;
    }
    return 0;
}
