#pragma once
// The shown card's text fields: one text engine document each while the card is shown, the
// active field with its caret and selection, typing, clicks and drags, the clipboard
// commands, the Find dialog, text links, and storing changed text back into the card record
// when the card is left or the stack is saved.
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/handles.h"
#include "player/display_list.h"
#include "player/message.h"

class QPainter;

namespace cv {

class Player;
class TextDocument;

// Bits of a text object's second flag word (object offset 26).
// 0x01: the field is locked against typing. Where this lives is our choice: the stored
// records name the state but not its place; it is the lowest free bit of the word that
// already holds the field's other input setting (0x02).
constexpr uint16_t kTextLocked = 0x01;
// 0x02: the field is not made the active field when its card is shown.
constexpr uint16_t kTextNotActivated = 0x02;

// Whether a stored text object (native record) is locked against typing: by its flag, or
// because its text belongs to a file.
bool textObjectLocked(const uint8_t* object, uint32_t length);

// Case-insensitive search in Windows-1252 text: the offset of `needle` in `hay` at or after
// `from`, or npos.
size_t findNoCase(const std::string& hay, const std::string& needle, size_t from = 0);

class TextFields {
public:
    explicit TextFields(Player& player);
    ~TextFields();
    TextFields(const TextFields&) = delete;
    TextFields& operator=(const TextFields&) = delete;

    // ---- The card display's part ----
    // `card` is being shown and its display list was just built: documents are made for its
    // text fields (kept for a card shown again), and the field to activate is chosen.
    void cardShown(Handle card);
    // The card is on screen: the chosen field becomes active.
    void activatePending();
    // The open stack is going away: documents are dropped without storing.
    void forget();
    // The shown card's objects changed (moved, hidden, shown, new text): documents follow.
    void refresh();

    // ---- State ----
    TextDocument* document(uint16_t fieldId) const;
    std::optional<uint16_t> activeField() const;
    // A field is active and may be typed into.
    bool editing() const;
    bool locked(uint16_t fieldId) const;
    // Makes a shown field active (its caret or highlight shows); false when it is not shown.
    bool activate(uint16_t fieldId);
    // Ends text editing: no field is active.
    void endEditing();
    // Whether any shown field has changes not yet stored.
    bool modified() const;
    // Stores every changed field into the card record.
    void storePending();

    // ---- Commands ----
    bool command(int id);
    std::string menuText(int id) const;
    bool commandEnabled(int id) const;
    // The Find dialog.
    void findDialog();
    // Finds `needle` from the current position on, card by card, goes to the card found and
    // selects the match. False when nothing matches.
    bool find(const std::string& needle);

    // ---- Input ----
    bool key(const Message& m);
    void timerTick();

    // The clipboard's text (Windows-1252); by default the system's clipboard.
    std::function<void(const std::string&)> writeClipboard;
    std::function<std::optional<std::string>()> readClipboard;

private:
    struct Field;
    Field* field(uint16_t id) const;
    Field* activeDoc() const;
    void draw(QPainter& p, const DisplayRecord& r);
    void repaint(const Field& f);
    void repaintCaret(const Field& f, const QRect& before);
    void click(const DisplayRecord& r, QPoint p, uint32_t modifiers, bool doubleClick);
    void drag(QPoint p);
    bool release(QPoint p);
    void followLink(const DisplayRecord& r, QPoint p);
    void flashLink(const std::string& link);
    void edited(Field& f);
    bool cardStillThere() const;
    void storeField(Field& f);
    void syncDocuments(Handle card);
    void pause(uint64_t ms);

    Player& player_;
    std::vector<std::unique_ptr<Field>> fields_;
    Handle card_ = 0;
    uint16_t cardId_ = 0;
    std::optional<uint16_t> active_;
    std::optional<uint16_t> pending_;
    std::optional<uint16_t> lastActive_;  // where Find starts after editing ended
    bool focused_ = true;  // the caret shows only while the player's window has the focus
    bool mouseDown_ = false;
    bool dragMoved_ = false;
    QPoint lastPointer_;
    std::string lastFind_;
    // The click a link is being followed for.
    struct LinkClick {
        uint16_t fieldId = 0;
        std::string text;
        size_t position = 0, selStart = 0, selEnd = 0;
        bool locked = false;
    } link_;
};

} // namespace cv
