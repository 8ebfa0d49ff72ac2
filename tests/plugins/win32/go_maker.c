/* GOMAKER.NBA: message 4 with data "go" goes to the card named "Second" by its name's address
   (callback 5); with data "make" it calls the counter (COUNTWIN.NBA) through callback 67 with
   message 20, for which the counter makes a global memory handle and leaves it at offset 74,
   and shows what came back (callback 68); with data "later" a window of its own goes to the card
   named "Windows" after the call has returned, as a palette would (a posted message, callback 5
   with no call under way). A mouse click on the bottom strip of the card (y from 170; message
   11, 513) is taken and shown. */
#include <stdio.h>

#include "win32_plugin.h"

#define COUNTER_ID 1301
#define MSG_MAKE 20

static void say(uint8_t* b, const char* line) {
    static uint8_t text[256];
    put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)counted(text, line));
    callBack(b, NBA_CMD_ALERT);
}

static void make(uint8_t* b) {
    char line[300];
    HGLOBAL data, result;
    const char* made;
    put32(b, NBA_OFF_PARAM1, 4);
    callBack(b, 15);
    data = (HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM1);
    put32(b, NBA_OFF_PARAM1, COUNTER_ID);
    put32(b, NBA_OFF_PARAM2, (uint32_t)(uintptr_t)data);
    put32(b, NBA_OFF_PARAM3, 0);
    put32(b, NBA_OFF_PARAM4, MSG_MAKE);
    callBack(b, NBA_CMD_CALL_NBA);
    result = (HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM2);
    made = (const char*)GlobalLock(result);
    snprintf(line, sizeof line, "Got: %.*s", made ? (int)GlobalSize(result) : 0, made ? made : "");
    if (made) GlobalUnlock(result);
    say(b, line);
}

static uint8_t* block_;

static LRESULT CALLBACK paletteProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    static uint8_t name[32];
    if (m != WM_APP) return DefWindowProcA(w, m, wp, lp);
    put32(block_, NBA_OFF_PARAM1, 0);
    put32(block_, NBA_OFF_PARAM2, 0);
    put32(block_, NBA_OFF_PARAM3, (uint32_t)(uintptr_t)counted(name, "Windows"));
    callBack(block_, NBA_CMD_GO_TO_CARD);
    return 0;
}

static void later(void) {
    static HWND palette;
    if (!palette) {
        WNDCLASSA c;
        memset(&c, 0, sizeof c);
        c.lpfnWndProc = paletteProc;
        c.hInstance = GetModuleHandleA(NULL);
        c.lpszClassName = "GoMakerPalette";
        RegisterClassA(&c);
        palette = CreateWindowExA(0, "GoMakerPalette", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, c.hInstance, NULL);
    }
    PostMessageA(palette, WM_APP, 0, 0);
}

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    static uint8_t name[32];
    block_ = b;
    switch (get16(b, NBA_OFF_COMMAND)) {
    case NBA_MSG_RUN: {
        const char* data = (const char*)GlobalLock((HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM1));
        const int isMake = data && get32(b, NBA_OFF_PARAM2) >= 4 && memcmp(data, "make", 4) == 0;
        const int isLater = data && get32(b, NBA_OFF_PARAM2) >= 5 && memcmp(data, "later", 5) == 0;
        if (data) GlobalUnlock((HGLOBAL)(uintptr_t)get32(b, NBA_OFF_PARAM1));
        if (isMake) {
            make(b);
        } else if (isLater) {
            later();
        } else {
            put32(b, NBA_OFF_PARAM1, 0);
            put32(b, NBA_OFF_PARAM2, 0);
            put32(b, NBA_OFF_PARAM3, (uint32_t)(uintptr_t)counted(name, "Second"));
            callBack(b, NBA_CMD_GO_TO_CARD);
        }
        break;
    }
    case NBA_MSG_EVENT:
        /* Only the bottom strip of the card: the buttons above get their clicks. */
        if (get32(b, NBA_OFF_PARAM2) == NBA_EVENT_MOUSE_DOWN && (get32(b, NBA_OFF_PARAM4) >> 16) >= 170) {
            char line[64];
            const uint32_t at = get32(b, NBA_OFF_PARAM4);
            snprintf(line, sizeof line, "Click at %u,%u", (unsigned)(at & 0xFFFF), (unsigned)(at >> 16));
            say(b, line);
            put32(b, NBA_OFF_PARAM5, 1);
        }
        break;
    }
    return 0;
}
