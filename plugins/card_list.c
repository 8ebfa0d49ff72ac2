/* CARDLIST.xtr: an Extra that lists the cards of the open stack and jumps to the one the
   person names. The cards are counted with the object lookup (command 24, kind "card", the
   card named by its number); the list is shown with the alert, and the player's Jump To Card
   dialog takes the choice. */
#include <stdio.h>

#include "plugin_util.h"

#define MAX_LISTED 60

/* Whether the stack has a card numbered `n`. */
static int hasCard(uint8_t* block, unsigned n) {
    const NBAHostTable* h = host(block);
    char number[16];
    NBARef text;
    uint32_t card;
    snprintf(number, sizeof number, "%u", n);
    text = counted(block, number);
    if (!text) return 0;
    send(block, NBA_CMD_LOOKUP, (uint32_t)NBA_CARD_BY_TEXT << 16, NBA_KIND_CARD, 0, (uint32_t)text, 0);
    card = get32(block, NBA_OFF_PARAM2);
    h->disposeHandle(text);
    return card != 0;
}

NBA_EXPORT int32_t NBAMain(uint8_t* block) {
    const NBAHostTable* h = host(block);
    char list[512];
    unsigned count = 0, n;
    size_t at;
    NBARef title, item;
    switch (get16(block, NBA_OFF_COMMAND)) {
    case NBA_MSG_PARAM: {
        /* The menu title goes into the block of p2 (room for p1 characters and a NUL). */
        const char* name = "Card List...";
        NBARef room = (NBARef)get32(block, NBA_OFF_PARAM2);
        uint32_t size = get32(block, NBA_OFF_PARAM1);
        uint8_t* p = h && room ? h->lockHandle(room) : 0;
        if (!p || size < strlen(name)) return 1;
        memcpy(p, name, strlen(name) + 1);
        h->unlockHandle(room);
        return 0;
    }
    case NBA_MSG_RUN:
        if (!h) return 1;
        while (count < MAX_LISTED && hasCard(block, count + 1)) ++count;
        if (count == 0) return 1;
        at = (size_t)snprintf(list, sizeof list, "This stack has %u cards:", count);
        for (n = 1; n <= count && at < sizeof list - 16; ++n)
            at += (size_t)snprintf(list + at, sizeof list - at, " %u", n);
        snprintf(list + at, sizeof list - at, ". Name the card to go to next.");
        alert(block, list);
        /* The player's Card menu takes its items by number: n is menu command n - 1, and 206
           is Jump To Card. */
        title = counted(block, "Card");
        item = counted(block, "207");
        send(block, NBA_CMD_MENU, 0, 0, (uint32_t)title, (uint32_t)item, 0);
        h->disposeHandle(title);
        h->disposeHandle(item);
        /* Not kept loaded: it holds nothing between uses. */
        return 1;
    default:
        return 0;
    }
}
