// grounding/atomcontenttable.cpp: a hash set of ground atoms kept as flat
// copies of their contents, with a number per atom.
#include "core/finish.h"
#include "grounding/grounder.h"

namespace veltra {

uint32_t ATOMCONTENTTABLE::hashOf(const ATOM& atom) {
    uint64_t h = uint32_t(atom.predicate) * 0x9E3779B97F4A7C15ull;
    if (const TERMLIST* terms = atom.terms())
        for (const TERM& t : *terms) h = (h ^ (uint64_t(uint32_t(t.kind)) << 32 | uint32_t(t.index))) * 0x100000001B3ull;
    h ^= h >> 33;  // the low bits choose the slot: mix the high ones in
    h *= 0xFF51AFD7ED558CCDull;
    return uint32_t(h ^ (h >> 33));
}

// A term as one word: the kind in the top two bits, the table index below.
// Tables never reach 2^30 entries (each costs far more than four bytes), so
// distinct terms give distinct words.
static uint32_t packedTerm(const TERM& t) { return uint32_t(t.kind) << 30 | uint32_t(t.index); }

bool ATOMCONTENTTABLE::holds(const SLOT& slot, const ATOM& atom) const {
    const uint32_t* stored = this->stored(slot.offset);
    if (stored[0] != uint32_t(atom.predicate)) return false;
    const TERMLIST* terms = atom.terms();
    const size_t n = terms ? terms->size() : 0;
    if (stored[1] != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (stored[2 + i] != packedTerm((*terms)[i])) return false;
    return true;
}

size_t ATOMCONTENTTABLE::slotOf(const ATOM& atom, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].offset && !(slots_[i].hash == hash && holds(slots_[i], atom))) i = (i + 1) & mask;
    return i;
}

int32_t* ATOMCONTENTTABLE::find(const ATOM& atom) {
    if (count_ == 0) return nullptr;
    SLOT& slot = slots_[slotOf(atom, hashOf(atom))];
    return slot.offset ? &slot.number : nullptr;
}

void ATOMCONTENTTABLE::grow() {
    std::vector<SLOT> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, SLOT{0, 0, 0});
    const size_t mask = slots_.size() - 1;
    for (const SLOT& s : old) {
        if (!s.offset) continue;
        size_t i = s.hash & mask;
        while (slots_[i].offset) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void ATOMCONTENTTABLE::insert(const ATOM& atom, int32_t number) {
    if (4 * (count_ + 1) > 3 * slots_.size()) grow();
    const uint32_t hash = hashOf(atom);
    const size_t i = slotOf(atom, hash);
    const TERMLIST* terms = atom.terms();
    const size_t n = terms ? terms->size() : 0;
    const size_t words = 2 + n;
    for (size_t k = 0; k < n; ++k)
        if (uint32_t((*terms)[k].index) >= (uint32_t(1) << 30) || uint32_t((*terms)[k].kind) > 3)
            internalError("atom content table: term out of range");
    if (chunkUsed_ + words > CHUNKWORDS) {
        // Offsets are 32 bits: at most 2^16 - 1 chunks.
        if (chunks_.size() + 1 >= (size_t(1) << (32 - CHUNKBITS))) internalError("atom content table full");
        chunks_.emplace_back(new uint32_t[std::max<size_t>(words, CHUNKWORDS)]);
        chunkUsed_ = 0;
    }
    const uint32_t offset = uint32_t(((chunks_.size() - 1) << CHUNKBITS) + chunkUsed_ + 1);
    uint32_t* run = chunks_.back().get() + chunkUsed_;
    // A chunk of its own for a long atom: nothing else goes into it.
    chunkUsed_ = words > CHUNKWORDS ? CHUNKWORDS : chunkUsed_ + uint32_t(words);
    run[0] = uint32_t(atom.predicate);
    run[1] = uint32_t(n);
    for (size_t k = 0; k < n; ++k) run[2 + k] = packedTerm((*terms)[k]);
    slots_[i] = SLOT{hash, offset, number};
    ++count_;
}

void ATOMCONTENTTABLE::erase(const ATOM& atom) {
    if (count_ == 0) return;
    const size_t mask = slots_.size() - 1;
    size_t hole = slotOf(atom, hashOf(atom));
    if (!slots_[hole].offset) return;
    slots_[hole].offset = 0;
    --count_;
    // Backward shift: move later entries of the run into the hole when their
    // home slot does not lie between the hole and them.
    for (size_t i = (hole + 1) & mask; slots_[i].offset; i = (i + 1) & mask) {
        const size_t home = slots_[i].hash & mask;
        const bool between = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
        if (between) continue;
        slots_[hole] = slots_[i];
        slots_[i].offset = 0;
        hole = i;
    }
}

void ATOMCONTENTTABLE::clear() {
    slots_ = {};
    chunks_ = std::vector<std::unique_ptr<uint32_t[]>>();
    chunkUsed_ = CHUNKWORDS;
    count_ = 0;
}

}  // namespace veltra
