/* NOTES.NBA: keeps a note of the visit in a text object of the card and goes to the next card.
   The button's stored data names the text object: its first byte is the object's id (1 when
   there is no data). */
#include <stdio.h>

#include "plugin_util.h"

static const NBAResources resources = {
    sizeof(NBAResources), "NOTES.NBA", "Notes",
    "Notes the visit in a text object and moves on./Sample plug-in", 0, 1211,
};

NBA_EXPORT const NBAResources* NBAGetResources(void) { return &resources; }

/* The object id the button's data names. */
static uint16_t objectOf(uint8_t* block) {
    const NBAHostTable* h = host(block);
    NBARef data = (NBARef)get32(block, NBA_OFF_PARAM1);
    uint16_t id = 1;
    if (h && data && h->handleSize(data) >= 1) {
        const uint8_t* p = h->lockHandle(data);
        if (p && p[0]) id = p[0];
        h->unlockHandle(data);
    }
    return id;
}

NBA_EXPORT int32_t NBAMain(uint8_t* block) {
    const NBAHostTable* h = host(block);
    char note[300];
    uint16_t object, card;
    NBARef text, runs, newText;
    uint32_t length = 0;
    const uint8_t* old;
    if (get16(block, NBA_OFF_COMMAND) != NBA_MSG_RUN || !h) return 0;
    object = objectOf(block);
    /* The card's number: command 20 answers it with the card's record; the block has it too. */
    card = (uint16_t)get16(block, NBA_OFF_CARD_NUMBER);
    send(block, 20, 0, 0, 0, 0, 0);
    if (get32(block, NBA_OFF_PARAM1) != 0) card = (uint16_t)get32(block, NBA_OFF_PARAM2);
    /* The object's text now (command 58), then the note after it (command 59). */
    send(block, NBA_CMD_GET_TEXT, object, NBA_KIND_TEXT, 0, 0, 0);
    text = (NBARef)get32(block, NBA_OFF_PARAM1);
    runs = (NBARef)get32(block, NBA_OFF_PARAM2);
    old = text ? h->lockHandle(text) : 0;
    if (old) length = h->handleSize(text);
    if (length > 200) length = 200;
    snprintf(note, sizeof note, "%.*s%sSeen card %u.", (int)length, old ? (const char*)old : "",
             length ? " " : "", (unsigned)card);
    if (old) h->unlockHandle(text);
    h->disposeHandle(text);
    h->disposeHandle(runs);
    newText = h->newHandle((uint32_t)strlen(note));
    if (newText) {
        uint8_t* p = h->lockHandle(newText);
        if (p) memcpy(p, note, strlen(note));
        h->unlockHandle(newText);
        send(block, NBA_CMD_SET_TEXT, object, (uint32_t)newText, 0, 0, 0);
        h->disposeHandle(newText);
    }
    /* On to the next card (the first after the last), with no transition. */
    send(block, NBA_CMD_NEXT_CARD, 0, 0, 0, 0, 0);
    return 0;
}
