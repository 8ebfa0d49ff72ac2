#pragma once
// A workspace table: chains of entry nodes (procedures, variables, property lists), in the
// order listings show and the collector walks, with an index beside them so that a lookup by
// name does not walk the chains. The index only ever names entries that are in the chains, so
// it keeps nothing alive the collector would not; everything that changes a chain goes
// through this class so that the two stay the same.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/node_memory.h"

namespace cv::script {

class NameTable {
public:
    // Seven chains chosen by NameHash, or one chain.
    explicit NameTable(size_t buckets);

    // Chain heads, for listings and the collector (bucket 0 first).
    size_t buckets() const { return heads_.size(); }
    Ref operator[](size_t bucket) const { return heads_[bucket]; }
    const Ref* begin() const { return heads_.data(); }
    const Ref* end() const { return heads_.data() + heads_.size(); }
    size_t size() const { return count_; }

    // The entry whose element's first item is a name equal to `name` (as CompareNames has it,
    // the first `skip` characters of `name` left out), the one nearest the front; or none.
    Ref find(const NodeMemory& m, Ref name, int skip = 0) const;
    // Puts an entry (a list node whose element starts with its name word) at the front of
    // the chain its name belongs to.
    void pushFront(NodeMemory& m, Ref entry);
    // Takes an entry out of its chain; false when it is not in this table.
    bool unlink(NodeMemory& m, Ref entry);
    // Empties the table (the entries are left to the collector).
    void clear();
    // Moves every entry to the front of `to`'s chains, front entries first, as burying all
    // does one entry at a time.
    void moveAllTo(NodeMemory& m, NameTable& to);

    // The index key of a name: its characters up to the first NUL, ASCII letters in upper
    // case, so that names equal by CompareNames have equal keys.
    static void NameKey(const NodeMemory& m, Ref name, int skip, std::string& key);

private:
    struct Slot {
        Ref entry = kNone;   // the front one of its name
        uint32_t count = 0;  // entries of that name (burying can put a second one in a table)
    };
    size_t bucketOf(const NodeMemory& m, Ref entry) const;
    static Ref nameOf(const NodeMemory& m, Ref entry) { return m.first(m.first(entry)); }
    Ref walkFind(const NodeMemory& m, Ref name, int skip) const;
    Ref walkFindKey(const NodeMemory& m, size_t bucket, const std::string& key, Ref after) const;
    void indexAdd(const NodeMemory& m, Ref entry, Ref previousHead);
    void indexRemove(const NodeMemory& m, Ref entry, size_t bucket);
    // Builds the index from the chains; false (index left off) when memory ran out.
    bool rebuild(const NodeMemory& m) const;
    void dropIndex() const;

    std::vector<Ref> heads_;
    size_t count_ = 0;
    // The index: name key to its front entry, and each entry's predecessor in its chain
    // (none for a chain's head), so that taking an entry out needs no walk. When memory for
    // it ran out it is off, and lookups walk the chains until it can be built again.
    mutable std::unordered_map<std::string, Slot> byName_;
    mutable std::unordered_map<Ref, Ref> before_;
    mutable bool indexed_ = true;
    mutable std::string scratch_;
};

} // namespace cv::script
