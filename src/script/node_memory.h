#pragma once
// The interpreter's one kind of cell and the pool it lives in. Every value (words, lists,
// numbers, definitions, bindings, parsed lines) is a chain of 9-byte nodes named by 32-bit
// node numbers, never by pointers, so a damaged reference can only ever name another node.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cv::script {

using Ref = uint32_t;
inline constexpr Ref kNone = 0;

enum NodeFlag : uint8_t {
    kListBit = 0x01,
    kWordBit = 0x02,
    kFloatBit = 0x04,
    kIntBit = 0x08,
    kLockBit = 0x40,
    kMarkBit = 0x80,
};

#pragma pack(push, 1)
struct Node {
    uint8_t flags;
    uint32_t next;  // list/word: next node; integer: the value; float: first half
    uint32_t item;  // list: element; word: four characters; float: second half
};
#pragma pack(pop)
static_assert(sizeof(Node) == 9, "a node is nine bytes");

inline constexpr int kNodesPerBlock = 1000;

// The shared constants. They live in block 0, outside the pool: never allocated or collected.
enum ConstantRef : Ref {
    kTrue = 1,        // "TRUE"
    kFalse = 2,       // "FALS" + "E"
    kEmptyList = 4,
    kEmptyWord = 5,
    kZeroValue = 6,   // the float 0.0 used where an expression is missing
    kErrorWord = 7,   // "ERRO" + "R", the tag of the error catch
};

class NodeMemory {
public:
    NodeMemory();
    virtual ~NodeMemory();
    NodeMemory(const NodeMemory&) = delete;
    NodeMemory& operator=(const NodeMemory&) = delete;

    // --- the pool ---------------------------------------------------------------------
    // Empties the pool, adds the first block and sets up the constants. False when no
    // block could be had.
    bool InitNodeMemory();
    void FreeNodeMemory();
    bool initialised() const { return !blocks_.empty() && blocks_.size() > 1; }

    // A node with flags 0x40 (locked, no kind), or none after error 23. Taking the head of
    // the free list is inline: every value is made of these.
    Ref NewNode() {
        if (freeList_ == kNone) return NewNodeAfterCollection();
        // The free list is made only of the pool's own nodes: no need to check the number.
        const Ref r = freeList_;
        Node& n = blocks_[r >> 10]->nodes[r & 1023u];
        freeList_ = n.next;
        n.flags = kLockBit;
        return r;
    }
    // For makers of long chains, which take nodes straight from the free list: its head, to
    // be held in a local and given back before anything else may ask for a node, and the
    // node of a number the pool handed out.
    Ref& freeListHead() { return freeList_; }
    Node* poolNode(Ref r) { return &blocks_[r >> 10]->nodes[r & 1023u]; }
    void CollectGarbage();
    // Nodes on the free list (walks it).
    size_t CountFreeNodes() const;
    size_t poolSize() const { return (blocks_.size() - 1) * size_t(kNodesPerBlock); }
    // Upper bound of the pool in blocks (0 = only what the platform grants). Past it NewNode
    // gives none and error 23 is raised.
    void setMaxBlocks(size_t n) { maxBlocks_ = n; }
    size_t maxBlocks() const { return maxBlocks_; }
    // The same bound in bytes of node blocks (at least one block).
    void setPoolLimitBytes(size_t bytes);
    size_t poolLimitBytes() const;
    // The bound a new pool starts with: 1 GiB, or half the machine's memory when that is less.
    static size_t DefaultPoolLimitBytes();

    // Locks keep values held only by native code alive through a collection. A locked node
    // keeps everything reachable from it, so locking the head is enough; unlocking clears
    // the head and every locked node below it (freshly built structure).
    void LockValue(Ref v);
    void UnlockValue(Ref v);

    // Native code that holds values across calls which may allocate pins them here.
    class Pin {
    public:
        Pin(NodeMemory& m, Ref r) : m_(m), mark_(m.pins_.size()) { m.pins_.push_back(r); }
        explicit Pin(NodeMemory& m) : m_(m), mark_(m.pins_.size()) {}
        ~Pin() { m_.pins_.resize(mark_); }
        void add(Ref r) { m_.pins_.push_back(r); }
        // Updates the most recent pin (a loop's current value).
        void set(Ref r) { if (m_.pins_.size() > mark_) m_.pins_.back() = r; else m_.pins_.push_back(r); }
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;
    private:
        NodeMemory& m_;
        size_t mark_;
    };

    size_t pinCount() const { return pins_.size(); }

    // --- raw access ---------------------------------------------------------------------
    Node& at(Ref r) {
        const uint32_t b = r >> 10, o = r & 1023u;
        if (b >= blocks_.size() || o >= kNodesPerBlock) return sink_;
        return blocks_[b]->nodes[o];
    }
    const Node& at(Ref r) const { return const_cast<NodeMemory*>(this)->at(r); }
    uint8_t flags(Ref r) const { return r == kNone ? 0 : at(r).flags; }
    bool isList(Ref r) const { return flags(r) & kListBit; }
    bool isWord(Ref r) const { return flags(r) & kWordBit; }
    bool isInteger(Ref r) const { return flags(r) & kIntBit; }
    bool isFloat(Ref r) const { return flags(r) & kFloatBit; }
    bool isNumber(Ref r) const { return flags(r) & (kIntBit | kFloatBit); }
    // Words and numbers: everything that is not a list (and not missing).
    bool isWordLike(Ref r) const { return flags(r) & (kWordBit | kIntBit | kFloatBit); }
    bool IsList(Ref r) const { return isList(r); }
    bool IsEmptyList(Ref r) const {
        return r == kNone || r == kEmptyList || (isList(r) && at(r).item == kNone && at(r).next == kNone);
    }
    bool IsEmptyWord(Ref r) const { return isWord(r) && (at(r).item & 0xFF) == 0; }
    // List access: the element of a list node and the node after it.
    Ref first(Ref list) const { return isList(list) ? at(list).item : kNone; }
    Ref rest(Ref list) const { return isList(list) ? at(list).next : kNone; }
    int32_t intValue(Ref r) const { return static_cast<int32_t>(at(r).next); }
    double floatValue(Ref r) const;

    // --- making values --------------------------------------------------------------------
    Ref NewList(Ref item, Ref next);   // one locked list node
    Ref NewInteger(int32_t i);
    Ref NewFloat(double d);
    // Appends to a list being built; `head`/`tail` start as none. False when out of nodes.
    bool AppendToList(Ref& head, Ref& tail, Ref item);
    size_t ListLength(Ref list) const;

    // --- words ----------------------------------------------------------------------------
    Ref WordFromText(std::string_view text);  // stops at the first NUL, as the C string did
    std::string TextFromWord(Ref word) const;
    // The word builder (one per interpreter).
    void BeginWord();
    void AppendChar(char c);
    Ref EndWord();
    // The character cursor (one per interpreter).
    void StartChars(Ref word) { cursorNode_ = word; cursorIndex_ = 0; }
    char NextChar();
    char PeekChar() const;
    Ref ButFirstChar(Ref word);
    size_t WordLength(Ref word) const;
    char FirstChar(Ref word) const { return isWord(word) ? char(at(word).item & 0xFF) : 0; }
    // True for a one-character word holding c.
    bool IsCharWord(Ref r, char c) const {
        return isWord(r) && (at(r).item & 0xFFFF) == uint8_t(c) && at(r).next == kNone;
    }
    bool IsColonWord(Ref r) const { return FirstChar(r) == ':'; }

    // --- comparison and naming ------------------------------------------------------------
    int CompareNames(Ref a, Ref b) const;
    // CompareNames with the first `skipA` characters of `a` left out (a colon word as a name).
    int CompareNamesSkip(Ref a, int skipA, Ref b) const;
    int CompareNameText(Ref a, std::string_view b) const;
    int MatchAndCanonicalise(Ref slot, Ref name);
    static int PrimitiveHash(std::string_view upperOrMixed);
    int PrimitiveHash(Ref word) const;
    int NameHash(Ref word, int skip = 0) const;
    bool IsTrue(Ref v) const;
    bool IsFalse(Ref v) const;

    // Counts that tests and listings use.
    size_t blockCount() const { return blocks_.size() - 1; }
    uint64_t collections() const { return collections_; }

protected:
    // Called with error 23 when no node can be had; the interpreter raises it.
    virtual void outOfSpace() {}
    // The collector asks for the roots: each is handed to markFrom.
    virtual void markRoots() {}
    void markFrom(Ref r);

private:
    // The collector's stack has a fixed room, taken when the pool is made, so that a
    // collection never asks for memory. What does not fit is found again by a sweep.
    static constexpr size_t kMarkStackRoom = size_t(1) << 16;
    void markPush(Ref r) {
        if (walk_.size() < walk_.capacity()) walk_.push_back(r);
        else markOverflow_ = true;
    }
    void rescanForUnmarked();
    Ref NewNodeAfterCollection();
    struct NodeBlock {
        NodeBlock* link;
        uint32_t number;  // its place in blocks_, which names its nodes
        Node nodes[kNodesPerBlock];
    };
    bool addBlock();
    void setUpConstants();
    void drainWalk();

    std::vector<NodeBlock*> blocks_;  // by block number; [0] holds the constants
    NodeBlock constants_{};
    NodeBlock* blockList_ = nullptr;  // newest first
    Ref freeList_ = kNone;
    size_t maxBlocks_ = 0;
    size_t lastFreed_ = 0;
    uint64_t collections_ = 0;
    Node sink_{};
    std::vector<Ref> pins_;
    std::vector<Ref> walk_;        // the collector's stack (fixed room)
    bool markOverflow_ = false;    // something did not fit on it during this collection
    std::vector<Ref> unlockWalk_;  // scratch stack of UnlockValue

    // word builder
    Ref wbFirst_ = kNone, wbCurrent_ = kNone;
    int wbIndex_ = 4;
    bool wbReported_ = false;
    // character cursor
    Ref cursorNode_ = kNone;
    int cursorIndex_ = 0;

    friend class Pin;
};

inline char charAt(uint32_t item, int i) { return static_cast<char>((item >> (8 * i)) & 0xFF); }

} // namespace cv::script
