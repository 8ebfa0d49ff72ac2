#pragma once
// Helpers shared by the words, lists and pattern-matching primitives.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/interpreter.h"

namespace cv::script::words {

// The first node of a list's chain, or none for the empty list (or a missing value).
inline Ref firstNode(const Interpreter& in, Ref list) { return in.IsEmptyList(list) ? kNone : list; }

// The text of any value: a word's characters, a number's printed text, a list's elements
// joined by single spaces with nested lists flattened (UNPARSE). False, after "Out of space",
// when the text would be larger than any word the pool could hold (a list that contains
// itself, or a structure that shares one sublist many times over).
bool ThingText(Interpreter& in, Ref v, std::string& text);

// Error 29 naming the primitive when the input is missing. True when it is there.
bool Present(PrimCall& c, Ref v);

// True when a word node holds four characters.
inline bool FullNode(uint32_t item) {
    return (item & 0xFF000000u) && (item & 0xFF0000u) && (item & 0xFF00u) && (item & 0xFFu);
}

// Makes a new word four characters to a node, straight from the nodes of other words where it
// can: a whole node of a source goes in with two shifts, whatever the place it lands at.
class WordWriter {
public:
    explicit WordWriter(Interpreter& in) : in_(in) {}

    void put(char ch) {
        pending_ |= uint32_t(uint8_t(ch)) << (8 * count_);
        if (++count_ == 4) {
            emit(pending_);
            pending_ = 0;
            count_ = 0;
        }
    }
    void putText(std::string_view t) {
        for (char ch : t) put(ch);
    }
    // The characters of a word from `skip` on, at most `limit` of them.
    void putWord(Ref w, size_t skip = 0, size_t limit = SIZE_MAX) {
        Ref r = w;
        for (size_t guard = in_.poolSize(); limit > 0 && guard > 0; --guard) {
            if (skip == 0 && limit >= 4) {
                r = putWholeNodes(r, limit);
                if (!ok_) return;
            }
            // A node with a NUL, the first of a skip, or the last few characters of the limit.
            const Node& n = in_.at(r);
            if (!(n.flags & kWordBit)) return;
            const uint32_t item = n.item;
            r = n.next;
            for (int i = 0; i < 4 && limit > 0; ++i) {
                const char ch = charAt(item, i);
                if (ch == 0) return;
                if (skip > 0) {
                    --skip;
                    continue;
                }
                put(ch);
                --limit;
            }
        }
    }
    // The word made (locked), the empty word when nothing was put, or none when the pool
    // ran out (what was made is left to the collector).
    Ref finish() {
        if (count_ > 0) emit(pending_);
        count_ = 0;
        if (!ok_) {
            in_.UnlockValue(first_);
            return kNone;
        }
        return first_ != kNone ? first_ : Ref(kEmptyWord);
    }

private:
    // Copies the full nodes of a chain from `r` while `limit` allows; gives the first node not
    // copied. The writer's state is kept in locals here: this is where long words are made.
    Ref putWholeNodes(Ref r, size_t& limit) {
        if (!ok_) return r;
        const unsigned shift = 8u * unsigned(count_);
        uint32_t pending = pending_;
        Ref first = first_;
        Node* last = last_;
        for (size_t guard = in_.poolSize(); limit >= 4 && guard > 0; limit -= 4, --guard) {
            const Node& source = in_.at(r);
            const uint32_t item = source.item;
            if (!(source.flags & kWordBit) || !FullNode(item)) break;
            const Ref made = in_.NewNode();
            if (made == kNone) {
                ok_ = false;
                break;
            }
            r = source.next;
            Node& n = in_.at(made);
            n.flags = first == kNone ? kWordBit | kLockBit : kWordBit;
            n.next = kNone;
            if (shift == 0) {
                n.item = item;
            } else {
                n.item = pending | (item << shift);
                pending = item >> (32u - shift);
            }
            if (first == kNone) first = made;
            else last->next = made;
            last = &n;
        }
        pending_ = pending;
        first_ = first;
        last_ = last;
        return r;
    }
    void emit(uint32_t item) {
        if (!ok_) return;
        const Ref r = in_.NewNode();
        if (r == kNone) {
            ok_ = false;
            return;
        }
        // Only the first node is locked: it keeps the rest alive, and unlocking the word
        // later is one step instead of a walk. Nodes never move, so the last one is held by
        // address between requests.
        Node& n = in_.at(r);
        n.flags = first_ == kNone ? kWordBit | kLockBit : kWordBit;
        n.next = kNone;
        n.item = item;
        if (first_ == kNone) first_ = r;
        else last_->next = r;
        last_ = &n;
    }

    Interpreter& in_;
    Ref first_ = kNone;
    Node* last_ = nullptr;
    uint32_t pending_ = 0;
    int count_ = 0;
    bool ok_ = true;
};

// A new word of the text (the empty word for no text), or none after "Out of space".
Ref NewWord(Interpreter& in, std::string_view text);

// A new list built from the front. As with words, only the first node is locked. A build
// that runs out of nodes is unlocked and left to the collector.
class ListBuilder {
public:
    explicit ListBuilder(Interpreter& in) : in_(in) {}

    void add(Ref item) {
        if (!ok_) return;
        const Ref r = in_.NewList(item, kNone);
        if (r == kNone) {
            ok_ = false;
            return;
        }
        if (head_ == kNone) {
            head_ = r;
        } else {
            in_.at(r).flags &= uint8_t(~kLockBit);
            in_.at(tail_).next = r;
        }
        tail_ = r;
    }
    // Copies up to `count` elements from the chain at `from`; gives the node after the last
    // one copied (none at the end of the chain).
    Ref copy(Ref from, int64_t count) {
        Ref p = from;
        for (int64_t i = 0; i < count && in_.isList(p) && ok_; ++i, p = in_.rest(p)) add(in_.first(p));
        return p;
    }
    // Ends the list with a shared part (none: the list ends here). The empty list when
    // nothing was added and nothing is shared; none when the pool ran out.
    Ref finish(Ref sharedRest = kNone) {
        if (!ok_) {
            in_.UnlockValue(head_);
            return kNone;
        }
        if (head_ == kNone) return in_.IsEmptyList(sharedRest) ? Ref(kEmptyList) : sharedRest;
        if (!in_.IsEmptyList(sharedRest)) in_.at(tail_).next = sharedRest;
        return head_;
    }

private:
    Interpreter& in_;
    Ref head_ = kNone, tail_ = kNone;
    bool ok_ = true;
};

} // namespace cv::script::words
