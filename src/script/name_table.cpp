#include "script/name_table.h"

#include <algorithm>
#include <new>

namespace cv::script {

namespace {

// Tables this small are walked: a short walk with a quick comparison (a line refers to the
// table's own name node after its first call) costs less than making a key.
constexpr size_t kWalkUpTo = 16;

} // namespace

NameTable::NameTable(size_t buckets) : heads_(buckets == 1 ? 1 : 7, kNone) {}

void NameTable::NameKey(const NodeMemory& m, Ref name, int skip, std::string& key) {
    key.clear();
    size_t guard = 0;
    int index = 0;
    for (Ref r = name; m.isWord(r) && guard++ <= m.poolSize(); r = m.at(r).next) {
        const uint32_t item = m.at(r).item;
        for (int i = 0; i < 4; ++i, ++index) {
            char c = charAt(item, i);
            if (c == 0) return;
            if (index < skip) continue;
            if (c >= 'a' && c <= 'z') c = char(c - 32);
            key.push_back(c);
        }
    }
}

size_t NameTable::bucketOf(const NodeMemory& m, Ref entry) const {
    // NameHash gives 0 to 6, the chain of a seven-chain table.
    return heads_.size() == 1 ? 0 : size_t(m.NameHash(nameOf(m, entry)));
}

Ref NameTable::walkFind(const NodeMemory& m, Ref name, int skip) const {
    const size_t bucket = heads_.size() == 1 ? 0 : size_t(m.NameHash(name, skip));
    size_t guard = 0;
    for (Ref e = heads_[bucket]; m.isList(e) && guard++ <= m.poolSize(); e = m.rest(e))
        if (m.CompareNamesSkip(name, skip, nameOf(m, e)) == 0) return e;
    return kNone;
}

Ref NameTable::walkFindKey(const NodeMemory& m, size_t bucket, const std::string& key, Ref after) const {
    std::string other;
    size_t guard = 0;
    for (Ref e = heads_[bucket]; m.isList(e) && guard++ <= m.poolSize(); e = m.rest(e)) {
        if (e == after) continue;
        NameKey(m, nameOf(m, e), 0, other);
        if (other == key) return e;
    }
    return kNone;
}

Ref NameTable::find(const NodeMemory& m, Ref name, int skip) const {
    if (count_ <= kWalkUpTo) return walkFind(m, name, skip);
    if (!indexed_ && !rebuild(m)) return walkFind(m, name, skip);
    try {
        NameKey(m, name, skip, scratch_);
    } catch (const std::bad_alloc&) {
        return walkFind(m, name, skip);
    }
    const auto it = byName_.find(scratch_);
    if (it == byName_.end()) return kNone;
    const Ref e = it->second.entry;
    if (!m.isList(e) || m.CompareNamesSkip(name, skip, nameOf(m, e)) != 0) {
        // Cannot happen while every change goes through this class; the chains decide.
        dropIndex();
        return walkFind(m, name, skip);
    }
    return e;
}

void NameTable::indexAdd(const NodeMemory& m, Ref entry, Ref previousHead) {
    NameKey(m, nameOf(m, entry), 0, scratch_);
    Slot& slot = byName_[scratch_];
    ++slot.count;
    slot.entry = entry;
    before_[entry] = kNone;
    if (previousHead != kNone) before_[previousHead] = entry;
}

void NameTable::pushFront(NodeMemory& m, Ref entry) {
    if (!m.isList(entry)) return;
    const size_t bucket = bucketOf(m, entry);
    const Ref old = heads_[bucket];
    m.at(entry).next = old;
    heads_[bucket] = entry;
    ++count_;
    if (!indexed_) return;
    try {
        indexAdd(m, entry, old);
    } catch (const std::bad_alloc&) {
        dropIndex();
    }
}

void NameTable::indexRemove(const NodeMemory& m, Ref entry, size_t bucket) {
    const auto it = byName_.find(scratch_);
    if (it == byName_.end()) return;
    if (--it->second.count == 0) {
        byName_.erase(it);
    } else if (it->second.entry == entry) {
        // The next one of that name in the chain (the entry is out of it already).
        it->second.entry = walkFindKey(m, bucket, scratch_, entry);
    }
}

bool NameTable::unlink(NodeMemory& m, Ref entry) {
    if (!m.isList(entry)) return false;
    const size_t bucket = bucketOf(m, entry);
    if (indexed_) {
        try {
            NameKey(m, nameOf(m, entry), 0, scratch_);
        } catch (const std::bad_alloc&) {
            dropIndex();
        }
    }
    if (indexed_) {
        const auto it = before_.find(entry);
        if (it == before_.end()) return false;
        const Ref prev = it->second;
        const Ref next = m.rest(entry);
        if (prev == kNone) {
            if (heads_[bucket] != entry) {
                dropIndex();
                return unlink(m, entry);
            }
            heads_[bucket] = next;
        } else {
            m.at(prev).next = next;
        }
        if (next != kNone) {
            const auto n = before_.find(next);
            if (n != before_.end()) n->second = prev;
        }
        before_.erase(it);
        m.at(entry).next = kNone;
        --count_;
        try {
            indexRemove(m, entry, bucket);
        } catch (const std::bad_alloc&) {
            dropIndex();
        }
        return true;
    }
    Ref prev = kNone;
    size_t guard = 0;
    for (Ref e = heads_[bucket]; m.isList(e) && guard++ <= m.poolSize(); prev = e, e = m.rest(e)) {
        if (e != entry) continue;
        if (prev == kNone) heads_[bucket] = m.rest(e);
        else m.at(prev).next = m.rest(e);
        m.at(e).next = kNone;
        --count_;
        return true;
    }
    return false;
}

void NameTable::clear() {
    std::fill(heads_.begin(), heads_.end(), kNone);
    count_ = 0;
    dropIndex();
    indexed_ = true;
}

void NameTable::moveAllTo(NodeMemory& m, NameTable& to) {
    for (size_t b = 0; b < heads_.size(); ++b) {
        size_t guard = 0;
        while (m.isList(heads_[b]) && guard++ <= m.poolSize()) {
            const Ref e = heads_[b];
            if (!unlink(m, e)) break;
            to.pushFront(m, e);
        }
    }
}

void NameTable::dropIndex() const {
    byName_.clear();
    before_.clear();
    indexed_ = false;
}

bool NameTable::rebuild(const NodeMemory& m) const {
    dropIndex();
    try {
        for (size_t b = 0; b < heads_.size(); ++b) {
            Ref prev = kNone;
            size_t guard = 0;
            for (Ref e = heads_[b]; m.isList(e) && guard++ <= m.poolSize(); prev = e, e = m.rest(e)) {
                NameKey(m, nameOf(m, e), 0, scratch_);
                Slot& slot = byName_[scratch_];
                if (slot.count++ == 0) slot.entry = e;
                before_[e] = prev;
            }
        }
    } catch (const std::bad_alloc&) {
        dropIndex();
        return false;
    }
    indexed_ = true;
    return true;
}

} // namespace cv::script
