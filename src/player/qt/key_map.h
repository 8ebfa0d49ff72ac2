#pragma once
// Qt keys to the Windows virtual key codes the player's key handling is written in. Shifted
// symbols map back to the key that carries them on a US keyboard, as virtual keys name keys,
// not characters: Shift+1 reports '!' here but is key '1' to the player.
#include <Qt>
#include <cstdint>

#include "player/message.h"

namespace cv {

// The virtual key of a Qt key, or 0 for a key the player has no code for. `keypad` is true for
// keys of the numeric keypad.
inline int windowsVirtualKey(int qtKey, bool keypad = false) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 0x60 + (qtKey - Qt::Key_0);
        switch (qtKey) {
        case Qt::Key_Asterisk: return 0x6A;
        case Qt::Key_Plus: return 0x6B;
        case Qt::Key_Minus: return 0x6D;
        case Qt::Key_Period: return 0x6E;
        case Qt::Key_Slash: return 0x6F;
        default: break;
        }
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    // Shifted digits of a US keyboard.
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    // Punctuation keys, plain and shifted.
    case Qt::Key_Semicolon: case Qt::Key_Colon: return kKeyOem1;
    case Qt::Key_Equal: case Qt::Key_Plus: return 0xBB;
    case Qt::Key_Comma: case Qt::Key_Less: return kKeyOemComma;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period: case Qt::Key_Greater: return kKeyOemPeriod;
    case Qt::Key_Slash: case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return kKeyOem3;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0xDE;
    // Editing and movement.
    case Qt::Key_Backspace: return kKeyBack;
    case Qt::Key_Tab: case Qt::Key_Backtab: return kKeyTab;
    case Qt::Key_Return: case Qt::Key_Enter: return kKeyReturn;
    case Qt::Key_Shift: return kKeyShift;
    case Qt::Key_Control: return kKeyControl;
    case Qt::Key_Alt: return kKeyAlt;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return kKeyEscape;
    case Qt::Key_Space: return kKeySpace;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return kKeyLeft;
    case Qt::Key_Up: return kKeyUp;
    case Qt::Key_Right: return kKeyRight;
    case Qt::Key_Down: return kKeyDown;
    case Qt::Key_Print: return 0x2C;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return kKeyDelete;
    case Qt::Key_Help: return 0x2F;
    case Qt::Key_Meta: return 0x5B;
    case Qt::Key_Menu: return 0x5D;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    default: return 0;
    }
}

// The player's modifier bits of Qt's.
inline uint32_t playerModifiers(Qt::KeyboardModifiers m) {
    uint32_t bits = 0;
    if (m & Qt::ShiftModifier) bits |= kModShift;
    if (m & Qt::ControlModifier) bits |= kModControl;
    if (m & Qt::AltModifier) bits |= kModAlt;
    return bits;
}

// Whether a character a key typed goes to the player as a character: printable ones, and the
// control characters Windows also sends (Backspace, Tab, Return, Escape, Control+letter).
// Delete types nothing there.
inline bool typedCharacter(uint32_t ch, bool control) {
    if (ch >= 0x20) return ch != 0x7F;
    if (ch == 8 || ch == 9 || ch == 13 || ch == 27) return true;
    return control && ch >= 1 && ch <= 26;
}

} // namespace cv
