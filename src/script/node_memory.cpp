#include "script/node_memory.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <unistd.h>

namespace cv::script {

namespace {

inline uint32_t packChars(const char* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && i < 4; ++i) v |= uint32_t(uint8_t(p[i])) << (8 * i);
    return v;
}

inline char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Nodes a collection should leave free at the least, once a program has used up the first
// blocks: a collection costs a sweep of the pool, so it should pay for many new nodes.
constexpr size_t kMinFreeAfterCollection = 64 * kNodesPerBlock;

} // namespace

NodeMemory::NodeMemory() {
    blocks_.push_back(&constants_);
    walk_.reserve(kMarkStackRoom);
    setPoolLimitBytes(DefaultPoolLimitBytes());
}

size_t NodeMemory::DefaultPoolLimitBytes() {
    constexpr size_t kDefault = size_t(1) << 30;
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kDefault;
    const size_t half = size_t(pages) / 2 * size_t(pageSize);
    return std::min(kDefault, half);
}

void NodeMemory::setPoolLimitBytes(size_t bytes) {
    maxBlocks_ = std::max<size_t>(1, bytes / sizeof(NodeBlock));
}

size_t NodeMemory::poolLimitBytes() const { return maxBlocks_ * sizeof(NodeBlock); }

NodeMemory::~NodeMemory() { FreeNodeMemory(); }

void NodeMemory::setUpConstants() {
    Node* c = constants_.nodes;
    std::memset(c, 0, sizeof(constants_.nodes));
    c[kTrue] = Node{kWordBit, kNone, packChars("TRUE", 4)};
    c[kFalse] = Node{kWordBit, Ref(kFalse + 1), packChars("FALS", 4)};
    c[kFalse + 1] = Node{kWordBit, kNone, packChars("E", 1)};
    c[kEmptyList] = Node{kListBit, kNone, kNone};
    c[kEmptyWord] = Node{kWordBit, kNone, 0};
    c[kZeroValue] = Node{kFloatBit, 0, 0};
    c[kErrorWord] = Node{kWordBit, Ref(kErrorWord + 1), packChars("ERRO", 4)};
    c[kErrorWord + 1] = Node{kWordBit, kNone, packChars("R", 1)};
}

bool NodeMemory::InitNodeMemory() {
    FreeNodeMemory();
    if (!addBlock()) return false;
    setUpConstants();
    pins_.clear();
    wbFirst_ = wbCurrent_ = kNone;
    wbIndex_ = 4;
    cursorNode_ = kNone;
    return true;
}

void NodeMemory::FreeNodeMemory() {
    for (NodeBlock* b = blockList_; b;) {
        NodeBlock* next = b->link;
        delete b;
        b = next;
    }
    blockList_ = nullptr;
    blocks_.resize(1);
    freeList_ = kNone;
}

bool NodeMemory::addBlock() {
    // Node numbers are 32 bits: block numbers stop well short of that.
    if (blocks_.size() >= (size_t(1) << 22)) return false;
    if (maxBlocks_ && blocks_.size() - 1 >= maxBlocks_) return false;
    auto* b = new (std::nothrow) NodeBlock;
    if (!b) return false;
    const Ref base = Ref(blocks_.size()) << 10;
    for (int i = 0; i < kNodesPerBlock; ++i) {
        b->nodes[i].flags = 0;
        b->nodes[i].item = kNone;
        b->nodes[i].next = (i + 1 < kNodesPerBlock) ? base + Ref(i + 1) : freeList_;
    }
    b->link = blockList_;
    b->number = uint32_t(blocks_.size());
    blockList_ = b;
    blocks_.push_back(b);
    freeList_ = base;
    return true;
}

Ref NodeMemory::NewNodeAfterCollection() {
    CollectGarbage();
    // A collection should free at least as many nodes as it found alive, and a good number
    // more: otherwise a program that keeps a large structure, or makes garbage fast, pays a
    // sweep of the whole pool every few requests. The pool grows to that.
    const size_t live = poolSize() - lastFreed_;
    const size_t wanted = std::max(2 * live, kMinFreeAfterCollection);
    if (lastFreed_ < wanted) {
        for (size_t n = (wanted - lastFreed_ + kNodesPerBlock - 1) / kNodesPerBlock; n > 0; --n)
            if (!addBlock()) break;
    }
    if (freeList_ == kNone) {
        outOfSpace();
        return kNone;
    }
    return NewNode();
}

void NodeMemory::drainWalk() {
    while (!walk_.empty()) {
        Ref r = walk_.back();
        walk_.pop_back();
        // Constants and none are never collected; a damaged number names nothing.
        if (r < (Ref(1) << 10) || (r >> 10) >= blocks_.size()) continue;
        Node* n = &blocks_[r >> 10]->nodes[r & 1023u];
        // The chain of a list or word is followed here; only elements wait on the stack. The
        // next node is most often the one below (nodes are handed out so), which is read
        // without waiting for the reference.
        for (;;) {
            if (n->flags & kMarkBit) break;  // reached already
            n->flags |= kMarkBit;
            if (n->flags & kListBit) {
                if (n->item >= (Ref(1) << 10)) markPush(Ref(n->item));
            } else if (!(n->flags & kWordBit)) {
                break;
            }
            const Ref next = n->next;
            if (next == r - 1 && (r & 1023u) != 0) {
                r = next;
                --n;
            } else {
                if (next < (Ref(1) << 10) || (next >> 10) >= blocks_.size()) break;
                r = next;
                n = &blocks_[next >> 10]->nodes[next & 1023u];
            }
        }
    }
}

void NodeMemory::markFrom(Ref r) {
    if (r == kNone) return;
    markPush(r);
    drainWalk();
}

void NodeMemory::rescanForUnmarked() {
    // A reached node whose element or successor is not reached yet, or a locked node not
    // reached yet, had its reference dropped when the stack was full: walk from there. Each
    // sweep reaches at least what did not fit the last time, so this ends.
    auto unreached = [this](Ref r) {
        return r >= (Ref(1) << 10) && (r >> 10) < blocks_.size() && !(at(r).flags & kMarkBit);
    };
    while (markOverflow_) {
        markOverflow_ = false;
        for (NodeBlock* b = blockList_; b; b = b->link) {
            const Ref base = Ref(b->number) << 10;
            for (int i = 0; i < kNodesPerBlock; ++i) {
                const Node& n = b->nodes[i];
                if (!(n.flags & kMarkBit)) {
                    if (n.flags & kLockBit) markPush(base + Ref(i));
                } else if (n.flags & kListBit) {
                    if (unreached(Ref(n.item))) markPush(Ref(n.item));
                    if (unreached(Ref(n.next))) markPush(Ref(n.next));
                } else if ((n.flags & kWordBit) && unreached(Ref(n.next))) {
                    markPush(Ref(n.next));
                }
                if (walk_.size() == walk_.capacity()) drainWalk();
            }
        }
        drainWalk();
    }
}

void NodeMemory::CollectGarbage() {
    // The mark bit is set on what is reached (the sense of the bit is the collector's own:
    // outside a collection it is clear on every node).
    // 1: locked nodes are held by native code: they are kept with everything below them.
    ++collections_;
    walk_.clear();
    markOverflow_ = false;
    for (NodeBlock* b = blockList_; b; b = b->link) {
        const Ref base = Ref(b->number) << 10;
        for (int i = 0; i < kNodesPerBlock; ++i)
            if (b->nodes[i].flags & kLockBit) {
                markPush(base + Ref(i));
                if (walk_.size() == walk_.capacity()) drainWalk();
            }
    }
    // 2: reach everything from the roots. Each node is visited once, so shared structure
    // costs no more than its size.
    drainWalk();
    markRoots();
    for (Ref r : pins_) markFrom(r);
    rescanForUnmarked();
    // 3: rebuild the free list from what was not reached (in locals: stores to nodes could
    // otherwise be taken to change them).
    Ref freeList = kNone;
    size_t freed = 0;
    for (NodeBlock* b = blockList_; b; b = b->link) {
        const Ref base = Ref(b->number) << 10;
        Node* nodes = b->nodes;
        for (int i = 0; i < kNodesPerBlock; ++i) {
            Node& n = nodes[i];
            if (n.flags & (kMarkBit | kLockBit)) {
                n.flags &= uint8_t(~kMarkBit);
            } else {
                n.flags = 0;
                n.next = freeList;
                freeList = base + Ref(i);
                ++freed;
            }
        }
    }
    freeList_ = freeList;
    lastFreed_ = freed;
}

size_t NodeMemory::CountFreeNodes() const {
    size_t n = 0;
    const size_t limit = poolSize();
    for (Ref r = freeList_; r != kNone && n <= limit; r = at(r).next) ++n;
    return n;
}

void NodeMemory::LockValue(Ref v) {
    if (v == kNone) return;
    Node& n = at(v);
    if (n.flags & (kListBit | kWordBit | kIntBit | kFloatBit)) n.flags |= kLockBit;
}

void NodeMemory::UnlockValue(Ref v) {
    if (v == kNone) return;
    const size_t base = unlockWalk_.size();
    unlockWalk_.push_back(v);
    while (unlockWalk_.size() > base) {
        Ref r = unlockWalk_.back();
        unlockWalk_.pop_back();
        // Along the chain in place; elements of lists wait on the stack.
        while (r >= (Ref(1) << 10)) {
            Node& n = at(r);
            if (!(n.flags & kLockBit) || !(n.flags & (kListBit | kWordBit | kIntBit | kFloatBit))) break;
            n.flags &= ~kLockBit;
            if (n.flags & kListBit) {
                if (n.item != kNone) unlockWalk_.push_back(Ref(n.item));
            } else if (!(n.flags & kWordBit)) {
                break;
            }
            r = n.next;
        }
    }
}

double NodeMemory::floatValue(Ref r) const {
    const Node& n = at(r);
    const uint64_t bits = uint64_t(n.next) | (uint64_t(n.item) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

Ref NodeMemory::NewList(Ref item, Ref next) {
    const Ref r = NewNode();
    if (r == kNone) return kNone;
    Node& n = at(r);
    n.flags = kListBit | kLockBit;
    n.item = item;
    n.next = next;
    return r;
}

Ref NodeMemory::NewInteger(int32_t i) {
    const Ref r = NewNode();
    if (r == kNone) return kNone;
    Node& n = at(r);
    n.flags = kIntBit | kLockBit;
    n.next = static_cast<uint32_t>(i);
    n.item = 0;
    return r;
}

Ref NodeMemory::NewFloat(double d) {
    const Ref r = NewNode();
    if (r == kNone) return kNone;
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    Node& n = at(r);
    n.flags = kFloatBit | kLockBit;
    n.next = uint32_t(bits);
    n.item = uint32_t(bits >> 32);
    return r;
}

bool NodeMemory::AppendToList(Ref& head, Ref& tail, Ref item) {
    const Ref node = NewList(item, kNone);
    if (node == kNone) return false;
    if (head == kNone) head = node;
    else at(tail).next = node;
    tail = node;
    return true;
}

size_t NodeMemory::ListLength(Ref list) const {
    size_t n = 0;
    if (IsEmptyList(list)) return 0;
    for (Ref r = list; isList(r); r = at(r).next) ++n;
    return n;
}

Ref NodeMemory::WordFromText(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    Ref first = kNone, last = kNone;
    size_t i = 0;
    do {
        const Ref r = NewNode();
        if (r == kNone) {
            for (Ref p = first; p != kNone; p = at(p).next) at(p).flags = 0;
            return kNone;
        }
        Node& n = at(r);
        n.flags = kWordBit | kLockBit;
        n.next = kNone;
        n.item = packChars(text.data() + i, text.size() - i);
        if (first == kNone) first = r;
        else at(last).next = r;
        last = r;
        i += 4;
    } while (i < text.size());
    return first;
}

std::string NodeMemory::TextFromWord(Ref word) const {
    std::string s;
    size_t guard = 0;
    for (Ref r = word; isWord(r) && guard <= poolSize(); r = at(r).next, ++guard) {
        const uint32_t item = at(r).item;
        // Whole nodes go in four characters at a time; the first NUL ends the word.
        if ((item & 0xFF000000u) && (item & 0xFF0000u) && (item & 0xFF00u) && (item & 0xFFu)) {
            const char four[4] = {charAt(item, 0), charAt(item, 1), charAt(item, 2), charAt(item, 3)};
            s.append(four, 4);
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            const char c = charAt(item, i);
            if (c == 0) return s;
            s.push_back(c);
        }
    }
    return s;
}

size_t NodeMemory::WordLength(Ref word) const {
    size_t len = 0, guard = 0;
    for (Ref r = word; isWord(r) && guard <= poolSize(); r = at(r).next, ++guard) {
        const uint32_t item = at(r).item;
        if ((item & 0xFF000000u) && (item & 0xFF0000u) && (item & 0xFF00u) && (item & 0xFFu)) {
            len += 4;
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            if (charAt(item, i) == 0) return len;
            ++len;
        }
    }
    return len;
}

void NodeMemory::BeginWord() {
    wbFirst_ = wbCurrent_ = kNone;
    wbIndex_ = 4;
    wbReported_ = false;
}

void NodeMemory::AppendChar(char c) {
    if (wbIndex_ == 4) {
        const Ref r = NewNode();
        if (r == kNone) {
            if (!wbReported_) wbReported_ = true;  // NewNode has raised error 23 already
            return;
        }
        Node& n = at(r);
        n.flags = kWordBit | kLockBit;
        n.next = kNone;
        n.item = 0;
        if (wbFirst_ == kNone) wbFirst_ = r;
        else at(wbCurrent_).next = r;
        wbCurrent_ = r;
        wbIndex_ = 0;
    }
    Node& n = at(wbCurrent_);
    n.item = (n.item & ~(uint32_t(0xFF) << (8 * wbIndex_))) | (uint32_t(uint8_t(c)) << (8 * wbIndex_));
    ++wbIndex_;
}

Ref NodeMemory::EndWord() {
    if (wbFirst_ == kNone) AppendChar(0);
    const Ref w = wbFirst_;
    wbFirst_ = wbCurrent_ = kNone;
    wbIndex_ = 4;
    return w;
}

char NodeMemory::NextChar() {
    if (!isWord(cursorNode_)) return 0;
    const char c = charAt(at(cursorNode_).item, cursorIndex_);
    if (c == 0) return 0;
    if (++cursorIndex_ == 4) {
        cursorIndex_ = 0;
        cursorNode_ = at(cursorNode_).next;
    }
    return c;
}

char NodeMemory::PeekChar() const {
    if (!isWord(cursorNode_)) return 0;
    return charAt(at(cursorNode_).item, cursorIndex_);
}

Ref NodeMemory::ButFirstChar(Ref word) {
    const std::string t = TextFromWord(word);
    if (t.size() <= 1) return kEmptyWord;
    return WordFromText(std::string_view(t).substr(1));
}

int NodeMemory::CompareNames(Ref a, Ref b) const {
    if (a == b) return 0;
    if (!isWord(a) || !isWord(b)) {
        // Only words are names; anything else counts as the empty name.
        if (!isWord(a)) return isWord(b) && WordLength(b) > 0 ? -1 : 0;
        return WordLength(a) > 0 ? 1 : 0;
    }
    size_t guard = 0;
    while (guard++ <= poolSize() + 1) {
        const uint32_t x = isWord(a) ? at(a).item : 0, y = isWord(b) ? at(b).item : 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t ca = uint8_t(upper(charAt(x, i))), cb = uint8_t(upper(charAt(y, i)));
            if (ca != cb) return ca < cb ? -1 : 1;
            if (ca == 0) return 0;
        }
        a = isWord(a) ? at(a).next : kNone;
        b = isWord(b) ? at(b).next : kNone;
        if (a == kNone && b == kNone) return 0;
    }
    return 0;
}

int NodeMemory::CompareNameText(Ref a, std::string_view b) const {
    // Walks the word's nodes: this runs for every key a property lookup passes.
    size_t i = 0, guard = 0;
    for (Ref r = a; isWord(r) && guard++ <= poolSize(); r = at(r).next) {
        const uint32_t item = at(r).item;
        for (int k = 0; k < 4; ++k) {
            const char c = charAt(item, k);
            if (c == 0) return i == b.size() ? 0 : -1;
            if (i == b.size()) return 1;
            const uint8_t ca = uint8_t(upper(c)), cb = uint8_t(upper(b[i]));
            if (ca != cb) return ca < cb ? -1 : 1;
            ++i;
        }
    }
    return i == b.size() ? 0 : -1;
}

int NodeMemory::MatchAndCanonicalise(Ref slot, Ref name) {
    if (!isList(slot)) return CompareNames(kNone, name);
    const Ref typed = at(slot).item;
    const int c = CompareNames(typed, name);
    if (c == 0 && typed != name) {
        // The typed copy is garbage from now on.
        at(slot).item = name;
        UnlockValue(typed);
    }
    return c;
}

int NodeMemory::PrimitiveHash(std::string_view text) {
    int16_t h = 1;
    for (char c : text) {
        if (c == 0) break;
        h = int16_t(uint16_t(int(h) * int(static_cast<signed char>(upper(c))) + 251));
    }
    int v = h == INT16_MIN ? -32767 : h;
    if (v < 0) v = -v;
    return (v >> 2) % 361;
}

int NodeMemory::PrimitiveHash(Ref word) const {
    // Walks the nodes rather than copying the text: this runs for every call by name.
    int16_t h = 1;
    size_t guard = 0;
    for (Ref r = word; isWord(r) && guard++ <= poolSize(); r = at(r).next) {
        const uint32_t item = at(r).item;
        for (int i = 0; i < 4; ++i) {
            const char c = charAt(item, i);
            if (c == 0) goto done;
            h = int16_t(uint16_t(int(h) * int(static_cast<signed char>(upper(c))) + 251));
        }
    }
done:
    int v = h == INT16_MIN ? -32767 : h;
    if (v < 0) v = -v;
    return (v >> 2) % 361;
}

int NodeMemory::CompareNamesSkip(Ref a, int skipA, Ref b) const {
    if (skipA == 0) return CompareNames(a, b);
    if (!isWord(a) || !isWord(b)) return CompareNames(a, b);
    // Walk both words a character at a time.
    Ref na = a, nb = b;
    int ia = 0, ib = 0;
    auto next = [this](Ref& n, int& i) -> char {
        if (!isWord(n)) return 0;
        const char c = charAt(at(n).item, i);
        if (c == 0) return 0;
        if (++i == 4) { i = 0; n = at(n).next; }
        return c;
    };
    for (int k = 0; k < skipA; ++k) next(na, ia);
    for (size_t guard = 0; guard <= 4 * poolSize() + 8; ++guard) {
        const uint8_t ca = uint8_t(upper(next(na, ia))), cb = uint8_t(upper(next(nb, ib)));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

int NodeMemory::NameHash(Ref word, int skip) const {
    int16_t h = 1;
    int index = 0;
    size_t guard = 0;
    for (Ref r = word; isWord(r) && guard++ <= poolSize(); r = at(r).next) {
        const uint32_t item = at(r).item;
        for (int i = 0; i < 4; ++i, ++index) {
            const char c = charAt(item, i);
            if (c == 0) goto done;
            if (index >= skip) h = int16_t(uint16_t(int(h) * int(static_cast<signed char>(upper(c)))));
        }
    }
done:
    int v = h == INT16_MIN ? -32767 : h;
    if (v < 0) v = -v;
    return v % 7;
}

bool NodeMemory::IsTrue(Ref v) const { return v == kTrue || (isWord(v) && CompareNames(v, kTrue) == 0); }
bool NodeMemory::IsFalse(Ref v) const { return v == kFalse || (isWord(v) && CompareNames(v, kFalse) == 0); }

} // namespace cv::script
