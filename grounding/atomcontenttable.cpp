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

bool ATOMCONTENTTABLE::holds(const SLOT& slot, const ATOM& atom) const {
    const uint32_t* stored = run(slot.offset);
    if (stored[1] != uint32_t(atom.predicate)) return false;
    const TERMLIST* terms = atom.terms();
    const size_t n = terms ? terms->size() : 0;
    if (stored[2] != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (stored[3 + i] != packedTerm((*terms)[i])) return false;
    return true;
}

size_t ATOMCONTENTTABLE::slotOf(const ATOM& atom, uint32_t hash) const {
    size_t i = home(hash);
    while (slots_[i].offset && !(slots_[i].hash == hash && holds(slots_[i], atom))) i = next(i);
    return i;
}

int32_t* ATOMCONTENTTABLE::find(const ATOM& atom) {
    if (count_ == 0) return nullptr;
    const SLOT& slot = slots_[slotOf(atom, hashOf(atom))];
    // The number is the first word of the atom's run.
    return slot.offset ? reinterpret_cast<int32_t*>(run(slot.offset)) : nullptr;
}

void ATOMCONTENTTABLE::grow() {
    std::vector<SLOT> old = std::move(slots_);
    // By a quarter: between three fifths and three quarters full
    // afterwards, where doubling would leave it between three eighths and
    // three quarters; the old and the new slots together stay small too.
    slots_.assign(old.empty() ? 1024 : old.size() + old.size() / 4, SLOT{0, 0});
    for (const SLOT& s : old) {
        if (!s.offset) continue;
        size_t i = home(s.hash);
        while (slots_[i].offset) i = next(i);
        slots_[i] = s;
    }
}

void ATOMCONTENTTABLE::insert(const ATOM& atom, int32_t number) {
    if (4 * (count_ + 1) > 3 * slots_.size()) grow();
    const uint32_t hash = hashOf(atom);
    const size_t i = slotOf(atom, hash);
    const TERMLIST* terms = atom.terms();
    const size_t n = terms ? terms->size() : 0;
    const size_t words = 3 + n;
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
    uint32_t* stored = chunks_.back().get() + chunkUsed_;
    // A chunk of its own for a long atom: nothing else goes into it.
    chunkUsed_ = words > CHUNKWORDS ? CHUNKWORDS : chunkUsed_ + uint32_t(words);
    stored[0] = uint32_t(number);
    stored[1] = uint32_t(atom.predicate);
    stored[2] = uint32_t(n);
    for (size_t k = 0; k < n; ++k) stored[3 + k] = packedTerm((*terms)[k]);
    slots_[i] = SLOT{hash, offset};
    ++count_;
}

void ATOMCONTENTTABLE::erase(const ATOM& atom) {
    if (count_ == 0) return;
    size_t hole = slotOf(atom, hashOf(atom));
    if (!slots_[hole].offset) return;
    slots_[hole].offset = 0;
    --count_;
    // Backward shift: move later entries of the run into the hole when their
    // home slot does not lie between the hole and them.
    for (size_t i = next(hole); slots_[i].offset; i = next(i)) {
        const size_t start = home(slots_[i].hash);
        const bool between = hole <= i ? (hole < start && start <= i) : (hole < start || start <= i);
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
