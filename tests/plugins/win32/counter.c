/* COUNTWIN.NBA: counts its runs in the data word and shows the count with alert 68; the
   alert's answer is left in parameter 3. Called by another plug-in (callback 67) with message
   20 it leaves a global memory handle of its own at offset 74 (28 frees it); message 21 plays a
   sound file named by a file-location record (callback 54); message 22 looks at the frame
   window, 25 puts a child window in it and 26 takes it away; 23 starts a timer whose ticks 24
   counts: each tick calls back (an alert saying "Tick"), as a modeless window would, with no
   call under way. Message 27 waits parameter 1 milliseconds answering its window messages, as
   a dialog waiting for the person does. */
#include <stdio.h>

#include "win32_plugin.h"

static uint32_t ticks_;
static uint8_t* block_;
static HWND child_;
static HGLOBAL made_;
static void CALLBACK tick(HWND w, UINT m, UINT_PTR id, DWORD t) {
    static uint8_t text[32];
    (void)w, (void)m, (void)t;
    put32(block_, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)counted(text, "Tick"));
    callBack(block_, NBA_CMD_ALERT);
    if (++ticks_ >= 3) KillTimer(NULL, id);
}

WIN_EXPORT int32_t __stdcall NBAMain(uint8_t* b) {
    static uint8_t text[256];
    char line[64];
    uint32_t n;
    block_ = b;
    if (get16(b, NBA_OFF_COMMAND) == 25) {
        child_ = CreateWindowExA(0, "STATIC", "Counter", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20,
                                 (HWND)(uintptr_t)get32(b, NBA_OFF_FRAME_WINDOW), NULL, NULL, NULL);
        return child_ != NULL;
    }
    if (get16(b, NBA_OFF_COMMAND) == 27) {
        const DWORD start = GetTickCount();
        MSG m;
        while (GetTickCount() - start < get32(b, NBA_OFF_PARAM1)) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
            while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        }
        return 27;
    }
    if (get16(b, NBA_OFF_COMMAND) == 26) {
        DestroyWindow(child_);
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 28) {
        GlobalFree(made_);
        made_ = NULL;
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 20) {
        static const char made[] = "Made by the counter";
        HGLOBAL h = made_ = GlobalAlloc(GMEM_MOVEABLE, sizeof made - 1);
        char* p = (char*)GlobalLock(h);
        if (p) {
            memcpy(p, made, sizeof made - 1);
            GlobalUnlock(h);
            put32(b, NBA_OFF_RESULT, (uint32_t)(uintptr_t)h);
        }
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 21) {
        /* The path, then the rest of a 260-byte record the player does not read. */
        static char record[300] = "C:\\Sounds\\chime.wav";
        put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)record);
        put32(b, NBA_OFF_PARAM2, 3);
        callBack(b, 54);
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 23) {
        /* A timer, as a modeless window would have: it ticks only while the host dispatches. */
        ticks_ = 0;
        SetTimer(NULL, 0, 10, tick);
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 24) {
        put32(b, NBA_OFF_PARAM5, ticks_);
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) == 22) {
        /* The frame window: over the card, hidden while it has no child windows. */
        HWND frame;
        RECT r = {0, 0, 0, 0};
        callBack(b, 9);  /* does nothing; the window is at offset 20 again after it */
        frame = (HWND)(uintptr_t)get32(b, NBA_OFF_FRAME_WINDOW);
        GetWindowRect(frame, &r);
        put32(b, NBA_OFF_PARAM3, (uint32_t)(r.left << 16 | r.top));
        put32(b, NBA_OFF_PARAM4, (uint32_t)((r.right - r.left) << 16 | (r.bottom - r.top)));
        put32(b, NBA_OFF_PARAM5, !IsWindow(frame) ? 0 : IsWindowVisible(frame) ? 2 : 1);
        return 0;
    }
    if (get16(b, NBA_OFF_COMMAND) != NBA_MSG_RUN) return 0;
    n = get32(b, NBA_OFF_DATA) + 1;
    snprintf(line, sizeof line, "Count: %u", (unsigned)n);
    put32(b, NBA_OFF_PARAM1, (uint32_t)(uintptr_t)counted(text, line));
    callBack(b, NBA_CMD_ALERT);
    put32(b, NBA_OFF_PARAM3, get32(b, NBA_OFF_PARAM1));
    put32(b, NBA_OFF_DATA, n);
    return 0;
}
