/* What the 32-bit Windows test plug-ins share: the block as a Windows plug-in sees it (the
   parameters are addresses and global memory handles, not references) and the callback. */
#include <windows.h>

#include <stdint.h>
#include <string.h>

#include "nba_abi.h"

#define WIN_EXPORT __declspec(dllexport)

static inline uint32_t get32(const uint8_t* b, int off) { uint32_t v; memcpy(&v, b + off, 4); return v; }
static inline void put32(uint8_t* b, int off, uint32_t v) { memcpy(b + off, &v, 4); }
static inline uint16_t get16(const uint8_t* b, int off) { uint16_t v; memcpy(&v, b + off, 2); return v; }
static inline void put16(uint8_t* b, int off, uint16_t v) { memcpy(b + off, &v, 2); }

/* Runs callback `command` on the block (the function at offset 16 takes no arguments). */
static inline void callBack(uint8_t* b, uint16_t command) {
    void (*callback)(void) = (void (*)(void))(uintptr_t)get32(b, NBA_OFF_CALLBACK);
    put16(b, NBA_OFF_COMMAND, command);
    callback();
}

/* A counted string in `buf` from a C string. */
static inline uint8_t* counted(uint8_t* buf, const char* text) {
    size_t n = strlen(text);
    if (n > 255) n = 255;
    buf[0] = (uint8_t)n;
    memcpy(buf + 1, text, n);
    return buf;
}
