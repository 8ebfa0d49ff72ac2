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
    // No byte is zero: subtracting one from each byte borrows only out of a zero byte.
    return ((item - 0x01010101u) & ~item & 0x80808080u) == 0;
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
    // copied. This is where long words are made, so the writer's state is kept in locals, and
    // both the source and the free list are read ahead on the guess that the next node is the
    // one below (as the free list hands them out): neither walk waits for a reference to be
    // read before it goes on.
    Ref putWholeNodes(Ref r, size_t& limit) {
        if (!ok_) return r;
        const unsigned shift = 8u * unsigned(count_);
        return shift == 0 ? copyWholeNodes<false>(r, limit, 0) : copyWholeNodes<true>(r, limit, shift);
    }
    template <bool Shifted>
    Ref copyWholeNodes(Ref r, size_t& limit, unsigned shift) {
        const Node* s = &in_.at(r);
        if (first_ == kNone) {
            // The first node is made as any other: it is the locked one.
            const uint32_t item = s->item;
            if (limit < 4 || !(s->flags & kWordBit) || !FullNode(item)) return r;
            if constexpr (Shifted) {
                emit(pending_ | (item << shift));
                pending_ = item >> (32u - shift);
            } else {
                emit(item);
            }
            if (!ok_) return r;
            limit -= 4;
            r = s->next;
            s = &in_.at(r);
        }
        uint32_t pending = pending_;
        Node* last = last_;
        Ref f = in_.freeListHead();
        Node* d = f != kNone ? in_.poolNode(f) : nullptr;
        size_t count = std::min(limit / 4, in_.poolSize());
        const size_t allowed = count;
        for (; count > 0; --count) {
            const uint32_t item = s->item;
            if (!(s->flags & kWordBit) || !FullNode(item)) break;
            if (f == kNone) {
                // The free list is used up: NewNode collects or adds a block.
                in_.freeListHead() = kNone;
                f = in_.NewNode();
                if (f == kNone) {
                    ok_ = false;
                    break;
                }
                d = in_.poolNode(f);
                d->next = in_.freeListHead();
            }
            const Ref freeNext = d->next;
            d->flags = kWordBit;
            d->next = kNone;
            if constexpr (Shifted) {
                d->item = pending | (item << shift);
                pending = item >> (32u - shift);
            } else {
                d->item = item;
            }
            last->next = f;
            last = d;
            if (freeNext == f - 1 && (f & 1023u) != 0) {
                f = freeNext;
                --d;
            } else {
                f = freeNext;
                d = f != kNone ? freeNodeOf(in_, f) : nullptr;
            }
            const Ref next = s->next;
            if (next == r - 1 && (r & 1023u) != 0) {
                r = next;
                --s;
            } else {
                r = next;
                s = nodeOf(in_, next);
            }
        }
        limit -= 4 * (allowed - count);
        in_.freeListHead() = f;
        pending_ = pending;
        last_ = last;
        return r;
    }
    // Kept out of line so that the guesses above stay branches.
    [[gnu::noinline]] static const Node* nodeOf(Interpreter& in, Ref r) { return &in.at(r); }
    [[gnu::noinline]] static Node* freeNodeOf(Interpreter& in, Ref r) { return in.poolNode(r); }
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
