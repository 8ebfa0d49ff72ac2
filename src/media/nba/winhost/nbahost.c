/* nbahost.exe: runs the 32-bit Windows plug-ins of stacks for the player, under Wine.
   It loads a library, reads its resources, calls NBAMain on a 78-byte block in its own memory
   and relays each callback to the player over its standard input and output (the frames of
   nba_wire.h). The player's Handles live here as real global memory handles, because Windows
   plug-ins lock them with GlobalLock themselves. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "nba_wire.h"

#define BLOCK_SIZE 78
#define MAX_LIBRARIES 64
#define MAX_DATA 260

typedef int32_t(__stdcall* EntryFn)(uint8_t* block);

static HANDLE in_, out_;
static HMODULE libraries_[MAX_LIBRARIES];
/* The one block every call uses, as in the player; callback 67 calls nest on it. */
static uint8_t block_[128];
/* What the player answered by address: valid until the next command. */
static uint8_t answers_[5][MAX_DATA];
/* NBAMain calls under way (callback 67 nests them); none between the player's requests. */
static volatile LONG calls_;

typedef struct Mirror {
    uint32_t player;
    HGLOBAL h;
} Mirror;
static Mirror* mirrors_;
static unsigned mirrorCount_, mirrorRoom_;

/* ---- Bytes ---------------------------------------------------------------------------------- */
typedef struct Buf {
    uint8_t* p;
    uint32_t size, room;
} Buf;

static void put(Buf* b, const void* d, uint32_t n) {
    if (b->size + n > b->room) {
        uint32_t room = b->room ? b->room : 4096;
        while (room < b->size + n) room *= 2;
        b->p = (uint8_t*)realloc(b->p, room);
        if (!b->p) ExitProcess(3);
        b->room = room;
    }
    memcpy(b->p + b->size, d, n);
    b->size += n;
}
static void put32(Buf* b, uint32_t v) { put(b, &v, 4); }
static uint32_t rd32(const uint8_t* p) { uint32_t v; memcpy(&v, p, 4); return v; }
static void wr32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

static void readAll(void* d, uint32_t n) {
    uint8_t* p = (uint8_t*)d;
    while (n) {
        DWORD got = 0;
        if (!ReadFile(in_, p, n, &got, NULL) || got == 0) ExitProcess(0);  /* the player is gone */
        p += got;
        n -= got;
    }
}

/* The watchdog thread writes frames too. */
static CRITICAL_SECTION writing_;

static void sendFrame(uint32_t type, const Buf* payload) {
    uint32_t head[2];
    const uint8_t* p;
    uint32_t n;
    DWORD done;
    EnterCriticalSection(&writing_);
    head[0] = 4 + (payload ? payload->size : 0);
    head[1] = type;
    p = (const uint8_t*)head;
    n = 8;
    while (n) {
        if (!WriteFile(out_, p, n, &done, NULL) || done == 0) ExitProcess(0);
        p += done;
        n -= done;
    }
    p = payload ? payload->p : NULL;
    n = payload ? payload->size : 0;
    while (n) {
        if (!WriteFile(out_, p, n, &done, NULL) || done == 0) ExitProcess(0);
        p += done;
        n -= done;
    }
    LeaveCriticalSection(&writing_);
}

/* Reads one frame from the pipe into `b` (its payload); the type. */
static uint32_t readFrame(Buf* b) {
    uint32_t head[2];
    readAll(head, 8);
    if (head[0] < 4 || head[0] > NBA_WIRE_MAX_FRAME) ExitProcess(2);
    b->size = 0;
    if (head[0] - 4 > b->room) {
        b->p = (uint8_t*)realloc(b->p, head[0] - 4);
        if (!b->p) ExitProcess(3);
        b->room = head[0] - 4;
    }
    readAll(b->p, head[0] - 4);
    b->size = head[0] - 4;
    return head[1];
}

/* Between requests the main thread pumps the messages of the frame window and of a plug-in's
   windows, so the next request is read by a thread of its own, armed each time the main thread
   goes idle. During a call the main thread reads the player's answers itself: one thread hand-over
   fewer on every callback, and the reader is never armed then. */
static HANDLE ready_, arm_;
static int armed_;
static Buf next_;
static uint32_t nextType_;

static DWORD WINAPI reader(void* unused) {
    (void)unused;
    for (;;) {
        WaitForSingleObject(arm_, INFINITE);
        nextType_ = readFrame(&next_);
        SetEvent(ready_);
    }
    return 0;
}

static void showFrameIfUsed(void);

static void pump(void) {
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    showFrameIfUsed();
}

/* The next frame into `b`; between requests (`idle`) window messages are dispatched meanwhile.
   While a call or callback is under way they are not: a plug-in's window procedure must not
   call back while the player waits for another answer. */
static uint32_t receive(Buf* b, int idle) {
    Buf taken;
    if (!idle && !armed_) return readFrame(b);
    if (!idle) {
        /* A window of a plug-in called back while the reader was armed: it reads the answer. */
        WaitForSingleObject(ready_, INFINITE);
    } else {
        for (;;) {
            if (!armed_) {
                armed_ = 1;
                SetEvent(arm_);
            }
            pump();
            /* A window's callback may have taken what the reader read: it is armed again. */
            if (armed_ && MsgWaitForMultipleObjects(1, &ready_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
                break;
        }
    }
    armed_ = 0;
    /* The reader waits to be armed again: its buffer is handed over, not copied. */
    taken = *b;
    *b = next_;
    next_ = taken;
    return nextType_;
}

/* ---- The frame window: stands for the player's window at offset 20 -------------------------- */
/* It lies over the player's card (the player says where) and owns a plug-in's windows. It is
   hidden until a plug-in gives it child windows; shown, only those children are seen: the rest
   of it is the colour key of a layered window, so the card shows through. */
static HWND frame_;
#define FRAME_KEY RGB(255, 0, 254)
/* Whether its child windows need looking at: one was made or went, or some are there. */
static int childrenChanged_ = 1, hasChildren_;

static LRESULT CALLBACK frameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PARENTNOTIFY) childrenChanged_ = 1;
    return DefWindowProcA(w, m, wp, lp);
}

static void makeFrame(void) {
    WNDCLASSA c;
    memset(&c, 0, sizeof c);
    c.lpfnWndProc = frameProc;
    c.hInstance = GetModuleHandleA(NULL);
    c.hbrBackground = CreateSolidBrush(FRAME_KEY);
    c.lpszClassName = "CorvellaFrame";
    RegisterClassA(&c);
    frame_ = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "CorvellaFrame", "Corvella",
                             WS_POPUP | WS_CLIPCHILDREN, 0, 0, 640, 480, NULL, NULL, c.hInstance, NULL);
    if (frame_) SetLayeredWindowAttributes(frame_, FRAME_KEY, 255, LWA_COLORKEY);
}

/* The player's card moved or changed size. */
static void place(const Buf* req) {
    int32_t x, y;
    uint32_t w, h;
    if (!frame_ || req->size < 16) return;
    memcpy(&x, req->p, 4);
    memcpy(&y, req->p + 4, 4);
    w = rd32(req->p + 8);
    h = rd32(req->p + 12);
    if (w == 0 || h == 0 || w > 16384 || h > 16384) return;
    SetWindowPos(frame_, NULL, x, y, (int)w, (int)h, SWP_NOACTIVATE | SWP_NOZORDER);
}

/* Shown while a plug-in has put windows of its own in it, hidden otherwise. Each look asks Wine's
   server, so it is made only when children came or went, or while there are some (one may have
   been shown or hidden since). */
static void showFrameIfUsed(void) {
    HWND child;
    int used = 0;
    if (!frame_ || (!childrenChanged_ && !hasChildren_)) return;
    childrenChanged_ = 0;
    child = GetWindow(frame_, GW_CHILD);
    hasChildren_ = child != NULL;
    for (; child && !used; child = GetWindow(child, GW_HWNDNEXT))
        used = (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) != 0;  /* its own flag: the frame hides it */
    if (used && !IsWindowVisible(frame_)) ShowWindow(frame_, SW_SHOWNOACTIVATE);
    else if (!used && IsWindowVisible(frame_)) ShowWindow(frame_, SW_HIDE);
}

/* The frame window at offset 20 (and as parameter 1 of window events), where there is one. */
static void putFrame(int isEvent) {
    if (!frame_) return;
    wr32(block_ + 20, (uint32_t)(uintptr_t)frame_);
    if (isEvent) wr32(block_ + NBA_PARAM_OFF(0), (uint32_t)(uintptr_t)frame_);
}

/* ---- Mirrors of the player's Handles ---------------------------------------------------------- */
static Mirror* byPlayer(uint32_t player) {
    unsigned i;
    for (i = 0; i < mirrorCount_; ++i)
        if (mirrors_[i].player == player) return &mirrors_[i];
    return NULL;
}
static Mirror* byHandle(HGLOBAL h) {
    unsigned i;
    for (i = 0; i < mirrorCount_; ++i)
        if (mirrors_[i].h == h) return &mirrors_[i];
    return NULL;
}
static Mirror* addMirror(uint32_t player, HGLOBAL h) {
    if (mirrorCount_ == mirrorRoom_) {
        mirrorRoom_ = mirrorRoom_ ? mirrorRoom_ * 2 : 32;
        mirrors_ = (Mirror*)realloc(mirrors_, mirrorRoom_ * sizeof(Mirror));
        if (!mirrors_) ExitProcess(3);
    }
    mirrors_[mirrorCount_].player = player;
    mirrors_[mirrorCount_].h = h;
    return &mirrors_[mirrorCount_++];
}

/* A Handle slot as the player will read it: a Handle the plug-in made itself becomes a mirror
   too (the player gives it a number of its own). */
static void noteHandle(uint32_t value) {
    HGLOBAL h = (HGLOBAL)(uintptr_t)value;
    if (!value || byHandle(h)) return;
    if (GlobalSize(h) == 0 && GlobalFlags(h) == GMEM_INVALID_HANDLE) return;
    addMirror(0, h);
}

static void putMirrors(Buf* b) {
    unsigned i, live = 0;
    /* A handle the plug-in freed is dropped; the player disposes of its copy when it likes. */
    for (i = 0; i < mirrorCount_; ++i)
        if (GlobalFlags(mirrors_[i].h) != GMEM_INVALID_HANDLE) mirrors_[live++] = mirrors_[i];
    mirrorCount_ = live;
    put32(b, mirrorCount_);
    for (i = 0; i < mirrorCount_; ++i) {
        const SIZE_T size = GlobalSize(mirrors_[i].h);
        void* p = GlobalLock(mirrors_[i].h);
        put32(b, mirrors_[i].player);
        put32(b, (uint32_t)(uintptr_t)mirrors_[i].h);
        put32(b, p ? (uint32_t)size : 0);
        if (p) {
            put(b, p, (uint32_t)size);
            GlobalUnlock(mirrors_[i].h);
        }
    }
}

/* Reads the mirrors the player sends; `at` moves past them. 0 when the payload is short. */
static int takeMirrors(const uint8_t* p, uint32_t size, uint32_t* at) {
    uint32_t n, i;
    if (*at + 4 > size) return 0;
    n = rd32(p + *at);
    *at += 4;
    for (i = 0; i < n; ++i) {
        uint32_t player, hv, len;
        Mirror* m;
        if (*at + 12 > size) return 0;
        player = rd32(p + *at);
        hv = rd32(p + *at + 4);
        len = rd32(p + *at + 8);
        *at += 12;
        m = hv ? byHandle((HGLOBAL)(uintptr_t)hv) : byPlayer(player);
        if (len == NBA_WIRE_GONE) {
            if (m) {
                GlobalFree(m->h);
                *m = mirrors_[--mirrorCount_];
            }
            continue;
        }
        if (*at + len > size) return 0;
        if (!m) {
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, len ? len : 1);
            if (!h) { *at += len; continue; }
            m = addMirror(player, h);
        }
        m->player = player;
        if (GlobalSize(m->h) != len) {
            HGLOBAL h = GlobalReAlloc(m->h, len ? len : 1, GMEM_MOVEABLE);
            if (h) m->h = h;
        }
        {
            uint8_t* d = (uint8_t*)GlobalLock(m->h);
            if (d) {
                if (GlobalSize(m->h) >= len && memcmp(d, p + *at, len) != 0) memcpy(d, p + *at, len);
                GlobalUnlock(m->h);
            }
        }
        *at += len;
    }
    return 1;
}

static uint32_t toHost(uint32_t player) {
    Mirror* m = player ? byPlayer(player) : NULL;
    return m ? (uint32_t)(uintptr_t)m->h : 0;
}

/* The bytes of what an address names (a counted string, a point, a rectangle, a file
   location's path up to its NUL), or 0. */
static uint32_t readAt(uint32_t address, int kind, uint8_t* out) {
    const uint8_t* p = (const uint8_t*)(uintptr_t)address;
    uint32_t n = kind == NBA_K_POINT ? 8 : kind == NBA_K_RECT ? 16 : 1;
    if (!address || IsBadReadPtr(p, n)) return 0;
    if (kind == NBA_K_FILELOC) {
        /* Byte by byte: the record may end at the edge of readable memory. */
        for (n = 0; n < NBA_FILELOC_MAX && !IsBadReadPtr(p + n, 1) && p[n]; ++n) out[n] = p[n];
        return n;
    }
    if (kind == NBA_K_CSTRING) {
        n = 1u + p[0];
        if (IsBadReadPtr(p, n)) return 0;
    }
    memcpy(out, p, n);
    return n;
}

static void params(uint32_t p[5]) {
    int i;
    for (i = 0; i < 5; ++i) p[i] = rd32(block_ + NBA_PARAM_OFF(i));
}

static void serve(uint32_t until, Buf* answer);

/* ---- The callback ------------------------------------------------------------------------------ */
static void __stdcall hostCallback(void) {
    const int code = (int16_t)(block_[46] | (block_[47] << 8));
    const NBAWireEntry* e = nbaWireFind(nbaWireCallbacks, sizeof nbaWireCallbacks / sizeof *nbaWireCallbacks, code);
    uint32_t given[5], p[5], at, m, i;
    uint8_t data[MAX_DATA];
    Buf b = {0}, answer = {0};
    /* A window procedure or timer of a plug-in, dispatched between the player's requests, calls
       back with no call under way: the player answers it at its next idle moment, or at once if
       it is calling a plug-in itself just then. */
    const int idle = calls_ == 0;
    params(given);
    for (i = 0; i < 5; ++i)
        if (nbaWireKind(e, (int)i, 0, given) == NBA_K_HANDLE) noteHandle(given[i]);
    noteHandle(rd32(block_ + 4));
    noteHandle(rd32(block_ + 74));
    put(&b, block_, BLOCK_SIZE);
    putMirrors(&b);
    {
        Buf items = {0};
        uint32_t count = 0;
        for (i = 0; i < 5; ++i) {
            const int kind = nbaWireKind(e, (int)i, 0, given);
            uint32_t n;
            if (kind < NBA_K_CSTRING) continue;
            n = readAt(given[i], kind, data);
            put32(&items, (uint32_t)NBA_PARAM_OFF(i));
            put32(&items, n);
            put(&items, data, n);
            ++count;
        }
        put32(&b, count);
        if (count) put(&b, items.p, items.size);
        free(items.p);
    }
    sendFrame(idle ? NBA_WIRE_IDLE_CALLBACK : NBA_WIRE_CALLBACK, &b);
    free(b.p);

    serve(idle ? NBA_WIRE_IDLE_ANSWER : NBA_WIRE_ANSWER, &answer);
    if (answer.size < BLOCK_SIZE) { free(answer.p); return; }
    at = BLOCK_SIZE;
    if (!takeMirrors(answer.p, answer.size, &at)) { free(answer.p); return; }
    memcpy(block_, answer.p, BLOCK_SIZE);
    putFrame(0);
    params(p);
    wr32(block_ + 4, toHost(rd32(block_ + 4)));
    wr32(block_ + 74, toHost(rd32(block_ + 74)));
    for (i = 0; i < 5; ++i) {
        const int out = nbaWireKind(e, (int)i, 1, given);
        const int in = nbaWireKind(e, (int)i, 0, given);
        uint8_t* slot = block_ + NBA_PARAM_OFF(i);
        if (out == NBA_K_HANDLE) wr32(slot, toHost(p[i]));
        else if (out > NBA_K_HANDLE) wr32(slot, 0);  /* filled from the data items below */
        else if (out < 0 && in >= NBA_K_HANDLE) wr32(slot, given[i]);  /* put back as given */
    }
    if (at + 4 <= answer.size) {
        m = rd32(answer.p + at);
        at += 4;
        for (i = 0; i < m && at + 8 <= answer.size; ++i) {
            const uint32_t off = rd32(answer.p + at), n = rd32(answer.p + at + 4);
            int slot;
            at += 8;
            if (n > answer.size - at) break;
            for (slot = 0; slot < 5; ++slot)
                if (NBA_PARAM_OFF(slot) == (int)off && n <= MAX_DATA) {
                    memcpy(answers_[slot], answer.p + at, n);
                    wr32(block_ + off, (uint32_t)(uintptr_t)answers_[slot]);
                }
            at += n;
        }
    }
    /* Locking answers the data's address, as Windows does. */
    if (code == 16) {
        void* d = p[0] ? GlobalLock((HGLOBAL)(uintptr_t)given[0]) : NULL;
        wr32(block_ + NBA_PARAM_OFF(0), (uint32_t)(uintptr_t)d);
    } else if (code == 17 && given[0]) {
        GlobalUnlock((HGLOBAL)(uintptr_t)given[0]);
    }
    free(answer.p);
}

/* ---- Requests ---------------------------------------------------------------------------------- */
static void putText(Buf* b, const char* s, uint32_t n) {
    put32(b, n);
    put(b, s, n);
}

static uint16_t shortResource(HMODULE lib, const char* name, int* found) {
    HRSRC r = FindResourceA(lib, name, "CVShort");
    HGLOBAL g;
    const uint8_t* d;
    if (!r || SizeofResource(lib, r) < 2 || !(g = LoadResource(lib, r)) || !(d = (const uint8_t*)LockResource(g)))
        return 0;
    *found = 1;
    return (uint16_t)(d[0] | (d[1] << 8));
}

static void load(const Buf* req) {
    char path[1024], text[1024];
    uint32_t i, n = req->size < 1000 ? req->size : 1000;
    unsigned slot;
    HMODULE lib;
    Buf b = {0};
    /* A Unix path names a file on Wine's drive Z:. */
    strcpy(path, "Z:");
    memcpy(path + 2, req->p, n);
    path[n + 2] = 0;
    for (i = 2; path[i]; ++i)
        if (path[i] == '/') path[i] = '\\';
    for (slot = 0; slot < MAX_LIBRARIES && libraries_[slot]; ++slot) {}
    {
        /* The player's paths are UTF-8, whatever Wine's code page. */
        WCHAR wide[1100];
        lib = NULL;
        if (slot < MAX_LIBRARIES && MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 1100) > 0)
            lib = LoadLibraryW(wide);
    }
    if (!lib) {
        const char* why = slot < MAX_LIBRARIES ? "not a Windows library that loads" : "too many libraries";
        put32(&b, 0);
        putText(&b, why, (uint32_t)strlen(why));
        sendFrame(NBA_WIRE_LOADED, &b);
        free(b.p);
        return;
    }
    libraries_[slot] = lib;
    put32(&b, slot + 1);
    put32(&b, GetProcAddress(lib, "NBAMain") || GetProcAddress(lib, "_NBAMain@4") ? 1 : 0);
    {
        int found = 0;
        const uint16_t flags = shortResource(lib, "AboutFlags", &found);
        const uint16_t id = shortResource(lib, "NBAID", &found);
        int lenName, lenShort;
        char shortName[64];
        HRSRC r = FindResourceA(lib, "ABOUT_STR", "TEXT");
        lenName = LoadStringA(lib, 1, text, sizeof text);
        lenShort = LoadStringA(lib, 3, shortName, sizeof shortName);
        put32(&b, (found || lenName > 0 || r) ? 1 : 0);
        put(&b, &flags, 2);
        put(&b, &id, 2);
        putText(&b, text, lenName > 0 ? (uint32_t)lenName : 0);
        putText(&b, shortName, lenShort > 0 ? (uint32_t)lenShort : 0);
        if (r) {
            HGLOBAL g = LoadResource(lib, r);
            const char* d = g ? (const char*)LockResource(g) : NULL;
            putText(&b, d ? d : "", d ? SizeofResource(lib, r) : 0);
        } else {
            putText(&b, "", 0);
        }
    }
    sendFrame(NBA_WIRE_LOADED, &b);
    free(b.p);
}

static void call(const Buf* req) {
    uint32_t lib, at = 4, given[5], p[5], i;
    const NBAWireEntry* e;
    EntryFn entry = NULL;
    int32_t value = 0;
    Buf b = {0};
    if (req->size < 4 + BLOCK_SIZE) ExitProcess(2);
    lib = rd32(req->p);
    if (lib >= 1 && lib <= MAX_LIBRARIES && libraries_[lib - 1]) {
        entry = (EntryFn)(void (*)(void))GetProcAddress(libraries_[lib - 1], "NBAMain");
        if (!entry) entry = (EntryFn)(void (*)(void))GetProcAddress(libraries_[lib - 1], "_NBAMain@4");
    }
    at = 4 + BLOCK_SIZE;
    if (!takeMirrors(req->p, req->size, &at)) ExitProcess(2);
    memcpy(block_, req->p + 4, BLOCK_SIZE);
    e = nbaWireFind(nbaWireMessages, sizeof nbaWireMessages / sizeof *nbaWireMessages,
                    block_[46] | (block_[47] << 8));
    params(given);
    for (i = 0; i < 5; ++i)
        if (nbaWireKind(e, (int)i, 0, given) == NBA_K_HANDLE)
            wr32(block_ + NBA_PARAM_OFF(i), toHost(given[i]));
    wr32(block_ + 4, toHost(rd32(block_ + 4)));
    wr32(block_ + 12, entry ? (uint32_t)(uintptr_t)libraries_[lib - 1] : 0);
    wr32(block_ + 16, (uint32_t)(uintptr_t)hostCallback);
    putFrame((block_[46] | (block_[47] << 8)) == 11);
    InterlockedIncrement(&calls_);
    if (entry) value = entry(block_);
    InterlockedDecrement(&calls_);
    showFrameIfUsed();
    params(p);
    for (i = 0; i < 5; ++i)
        if (nbaWireKind(e, (int)i, 1, given) == NBA_K_HANDLE) noteHandle(p[i]);
    noteHandle(rd32(block_ + 74));
    put32(&b, (uint32_t)value);
    put(&b, block_, BLOCK_SIZE);
    putMirrors(&b);
    put32(&b, 0);
    sendFrame(NBA_WIRE_RETURN, &b);
    free(b.p);
}

/* The answer to a window's callback that came while a call it made way for was under way. */
static Buf idleAnswer_;
static int idleAnswered_;

/* Serves the player's requests until a frame of type `until` comes (0: until QUIT). */
static void serve(uint32_t until, Buf* answer) {
    Buf req = {0};
    for (;;) {
        uint32_t type;
        if (until == NBA_WIRE_IDLE_ANSWER && idleAnswered_) {
            idleAnswered_ = 0;
            *answer = idleAnswer_;
            memset(&idleAnswer_, 0, sizeof idleAnswer_);
            free(req.p);
            return;
        }
        type = receive(&req, until == 0);
        if (until && type == until) {
            *answer = req;
            return;
        }
        if (type == NBA_WIRE_IDLE_ANSWER) {
            /* Kept for the window's callback, which waits further out. */
            free(idleAnswer_.p);
            idleAnswer_ = req;
            memset(&req, 0, sizeof req);
            idleAnswered_ = 1;
            continue;
        }
        switch (type) {
        case NBA_WIRE_LOAD: load(&req); break;
        case NBA_WIRE_CALL: call(&req); break;
        case NBA_WIRE_UNLOAD:
            if (req.size >= 4) {
                const uint32_t lib = rd32(req.p);
                if (lib >= 1 && lib <= MAX_LIBRARIES && libraries_[lib - 1]) {
                    FreeLibrary(libraries_[lib - 1]);
                    libraries_[lib - 1] = NULL;
                }
            }
            break;
        case NBA_WIRE_PLACE: place(&req); break;
        case NBA_WIRE_QUIT: ExitProcess(0);
        default: ExitProcess(2);  /* out of step with the player: it restarts us */
        }
    }
}

/* The player stops a plug-in that is silent for long. One that shows a dialog and waits for the
   person is not silent: while a call is under way and the main thread still answers its window
   messages, the player is told so every half second. A plug-in in an endless loop answers none. */
static DWORD WINAPI watchdog(void* unused) {
    (void)unused;
    for (;;) {
        DWORD_PTR r;
        Sleep(500);
        if (calls_ > 0 && frame_ &&
            SendMessageTimeoutA(frame_, WM_NULL, 0, 0, SMTO_BLOCK, 250, &r) && calls_ > 0)
            sendFrame(NBA_WIRE_WAITING, NULL);
    }
    return 0;
}

static LONG WINAPI crashed(EXCEPTION_POINTERS* info) {
    (void)info;
    ExitProcess(4);  /* the player sees the pipe close and restarts the host */
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void) {
    Buf hello = {0};
    in_ = GetStdHandle(STD_INPUT_HANDLE);
    out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(crashed);
    ready_ = CreateEventA(NULL, FALSE, FALSE, NULL);
    arm_ = CreateEventA(NULL, FALSE, FALSE, NULL);
    InitializeCriticalSection(&writing_);
    if (!ready_ || !arm_ || !CreateThread(NULL, 0, reader, NULL, 0, NULL)) ExitProcess(3);
    makeFrame();
    if (!CreateThread(NULL, 0, watchdog, NULL, 0, NULL)) ExitProcess(3);
    put32(&hello, NBA_WIRE_VERSION);
    sendFrame(NBA_WIRE_HELLO, &hello);
    free(hello.p);
    serve(0, NULL);
    return 0;
}
