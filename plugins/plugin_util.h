/* Small helpers the sample plug-ins share: reading and writing the little-endian block and
   sending a command back to the player through the host table. */
#ifndef SAMPLE_PLUGIN_UTIL_H
#define SAMPLE_PLUGIN_UTIL_H

#include <string.h>

#include "nba_abi.h"

static inline uint16_t get16(const uint8_t* b, int off) { return (uint16_t)(b[off] | (b[off + 1] << 8)); }
static inline uint32_t get32(const uint8_t* b, int off) {
    return (uint32_t)b[off] | ((uint32_t)b[off + 1] << 8) | ((uint32_t)b[off + 2] << 16) | ((uint32_t)b[off + 3] << 24);
}
static inline void put16(uint8_t* b, int off, uint16_t v) { b[off] = (uint8_t)v; b[off + 1] = (uint8_t)(v >> 8); }
static inline void put32(uint8_t* b, int off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = (uint8_t)(v >> (8 * i));
}

/* The host table, or 0 when the player offers no callback now. */
static inline const NBAHostTable* host(const uint8_t* block) {
    const NBAHostTable* h;
    if (get32(block, NBA_OFF_CALLBACK) == 0) return 0;
    memcpy(&h, block + NBA_HOST_TABLE_OFFSET, sizeof h);
    if (!h || h->size < sizeof(NBAHostTable)) return 0;
    return h;
}

/* Runs `command` with the five parameters; the answers are left in the block. */
static inline void send(uint8_t* block, uint16_t command, uint32_t p1, uint32_t p2, uint32_t p3, uint32_t p4, uint32_t p5) {
    const NBAHostTable* h = host(block);
    if (!h) return;
    put16(block, NBA_OFF_COMMAND, command);
    put32(block, NBA_OFF_PARAM1, p1);
    put32(block, NBA_OFF_PARAM2, p2);
    put32(block, NBA_OFF_PARAM3, p3);
    put32(block, NBA_OFF_PARAM4, p4);
    put32(block, NBA_OFF_PARAM5, p5);
    h->callback();
}

/* A counted string (length byte, then the text) in a new block of the interface. */
static inline NBARef counted(const uint8_t* block, const char* text) {
    const NBAHostTable* h = host(block);
    size_t n = strlen(text);
    NBARef ref;
    uint8_t* p;
    if (!h) return 0;
    if (n > 255) n = 255;
    ref = h->newHandle((uint32_t)n + 1);
    p = ref ? h->lockHandle(ref) : 0;
    if (!p) return 0;
    p[0] = (uint8_t)n;
    memcpy(p + 1, text, n);
    h->unlockHandle(ref);
    return ref;
}

/* Shows `text` in the player's alert (command 68). */
static inline void alert(uint8_t* block, const char* text) {
    const NBAHostTable* h = host(block);
    NBARef ref = counted(block, text);
    if (!ref) return;
    send(block, NBA_CMD_ALERT, (uint32_t)ref, 0, 0, 0, 0);
    h->disposeHandle(ref);
}

#endif
