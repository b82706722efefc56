// core/groundprogram.cpp: the ground-atom table, atom sets, ground records,
// the interning of ground aggregates and the ground printers.
#include "core/groundprogram.h"

#include "core/conjunction.h"
#include "core/finish.h"
#include "core/options.h"

namespace veltra {

std::unordered_map<ATOM, ATOMID, ATOMHASH, ATOMEQUAL> atomTable(193);
std::vector<const std::pair<const ATOM, ATOMID>*> atomsByIndex;
bool atomTableFrozen = false;
int32_t groundAtomCount = 0;
int32_t atomCount = 0;

ATOMSET trueAtoms;
ATOMSET undefinedAtoms;
ATOMSET edbFacts;

std::vector<GROUNDRULE> groundRules;
std::vector<GROUNDCONSTRAINT> groundConstraints;
std::vector<GROUNDWEAKCONSTRAINT> groundWeakConstraints;
std::vector<GROUNDWEAKCONSTRAINT> violatedWeakConstraints;
int32_t maxWeakConstraintLevel = 0;

std::unordered_map<GROUNDSET, int32_t, GROUNDSETHASH> groundSetTable(193);
std::vector<const std::pair<const GROUNDSET, int32_t>*> groundSetsByIndex;
std::vector<std::unique_ptr<AGGREGATEFUNCTION>> aggregatesByIndex;
int32_t aggregateCount = 0;

// The atom hash mixes the predicate index with the argument codes. No output
// depends on the order of entries inside a table.
size_t ATOMHASH::operator()(const ATOM& a) const {
    uint64_t h = static_cast<uint32_t>(a.predicate) * 0x9E3779B97F4A7C15ull;
    auto mix = [&h](const TERM& x) { h = (h ^ termCode(x) ^ (uint64_t(x.kind) << 32)) * 0x100000001B3ull; };
    if (const TERMLIST* t = a.terms()) {
        for (const TERM& x : *t) mix(x);
    } else if (const AGGREGATEATOM* agg = a.aggregate()) {
        // Guards and ground set survive interning unchanged, so the hash of a
        // stored aggregate atom stays valid when its payload moves to the tables.
        mix(agg->lowerGuard);
        mix(agg->upperGuard);
        for (const GROUNDSETELEMENT& e : agg->fn().set()) h = (h ^ uint32_t(e.atom)) * 0x100000001B3ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

size_t GROUNDSETHASH::operator()(const GROUNDSET& s) const {
    size_t h = 0;
    for (const GROUNDSETELEMENT& e : s) h += (size_t(e.atom) + 1) * 0x9E3779B97F4A7C15ull ^ termCode(e.value);
    return h;
}

ATOMID internAtom(const ATOM& atom) {
    auto it = atomTable.find(atom);
    if (it != atomTable.end()) return it->second;
    if (atomTableFrozen) internalError("freeze violation");
    ATOMID id = static_cast<ATOMID>(atomsByIndex.size());
    auto ins = atomTable.emplace(atom, id).first;
    atomsByIndex.push_back(&*ins);
    return id;
}

static const ATOMORDEREDSET emptyAtomSet;

const ATOMORDEREDSET& ATOMSET::atomsOfPredicate(int32_t predicate) const {
    if (predicate < 0 || size_t(predicate) >= byPredicate.size()) return emptyAtomSet;
    return byPredicate[predicate];
}

bool ATOMSET::contains(const ATOM& atom) const {
    const auto& s = atomsOfPredicate(atom.predicate);
    return s.find(atom) != s.end();
}

bool ATOMSET::add(const ATOM& atom) {
    if (byPredicate.size() < size_t(predicateTable.count)) byPredicate.resize(predicateTable.count);
    return byPredicate[atom.predicate].insert(atom).second;
}

size_t ATOMSET::size() const {
    size_t n = 0;
    for (const auto& s : byPredicate) n += s.size();
    return n;
}

void GROUNDCONJUNCTION::recomputeFirstNegative() { firstNegative = firstNegativeOf(literals); }

void GROUNDCONJUNCTION::addLiteral(const GROUNDLITERAL& literal) { addPositiveFirst(literals, firstNegative, literal); }

void GROUNDCONJUNCTION::addLiteralIfAbsent(const GROUNDLITERAL& literal) {
    size_t from = literal.negated ? firstNegative : 0;
    size_t to = literal.negated ? literals.size() : firstNegative;
    for (size_t i = from; i < to; ++i)
        if (literals[i].atom == literal.atom) return;
    addLiteral(literal);
}

GROUNDRULE::GROUNDRULE(const std::vector<ATOMID>* h, const GROUNDCONJUNCTION* b)
    : head(h ? std::make_unique<std::vector<ATOMID>>(*h) : nullptr),
      body(b ? std::make_unique<GROUNDCONJUNCTION>(*b) : nullptr) {
    if (body) body->recomputeFirstNegative();
}

GROUNDRULE::GROUNDRULE(const GROUNDRULE& other) : GROUNDRULE(other.head.get(), other.body.get()) {
    word = other.word;
    std::copy(other.counters, other.counters + 7, counters);
}

GROUNDRULE& GROUNDRULE::operator=(const GROUNDRULE& other) {
    if (this == &other) return *this;
    head = other.head ? std::make_unique<std::vector<ATOMID>>(*other.head) : nullptr;
    body = other.body ? std::make_unique<GROUNDCONJUNCTION>(*other.body) : nullptr;
    word = other.word;
    flag1 = other.flag1;
    notHeadCycle = other.notHeadCycle;
    std::copy(other.counters, other.counters + 7, counters);
    return *this;
}

// Interning key of a ground aggregate function: its kind, its ground set and
// the bounds folded from elements already known true, so that two aggregates
// over one set but with different true parts never share a function.
struct AGGREGATEKEY {
    int32_t kind, set;
    int64_t lower, upper, extra1, extra2;
    bool operator==(const AGGREGATEKEY& o) const {
        return kind == o.kind && set == o.set && lower == o.lower && upper == o.upper && extra1 == o.extra1 &&
               extra2 == o.extra2;
    }
};
struct AGGREGATEKEYHASH {
    size_t operator()(const AGGREGATEKEY& k) const {
        uint64_t h = (uint64_t(uint32_t(k.set)) << 3) ^ uint64_t(k.kind);
        for (int64_t v : {k.lower, k.upper, k.extra1, k.extra2}) h = (h ^ uint64_t(v)) * 0x100000001B3ull;
        return static_cast<size_t>(h);
    }
};
static std::unordered_map<AGGREGATEKEY, int32_t, AGGREGATEKEYHASH> aggregateTable(193);

void internAggregateLiteral(const LITERAL& literal, const TERM* bindings, GROUNDCONJUNCTION& body) {
    ATOMID id = internAtom(ATOM(literal, bindings));
    // The stored atom's payload is edited in place; its hash does not depend
    // on the aggregate payload, so the table stays consistent.
    AGGREGATEATOM& agg = *const_cast<ATOM&>(atomsByIndex[id]->first).aggregate();
    if (agg.function) {
        AGGREGATEFUNCTION& fn = *agg.function;
        if (fn.groundSet) {
            int32_t next = static_cast<int32_t>(groundSetsByIndex.size());
            auto [it, isNew] = groundSetTable.emplace(*fn.groundSet, next);
            if (isNew) groundSetsByIndex.push_back(&*it);
            fn.groundSetIndex = it->second;
            fn.groundSet.reset();
        }
        AGGREGATEKEY key{fn.kind, fn.groundSetIndex, fn.lower, fn.upper, fn.extra1(), fn.extra2()};
        auto [it, isNew] = aggregateTable.emplace(key, aggregateCount);
        if (isNew) {
            aggregatesByIndex.push_back(std::move(agg.function));
            ++aggregateCount;
        }
        agg.aggregateIndex = it->second;
        agg.function.reset();
    }
    body.addLiteralIfAbsent(GROUNDLITERAL{id, literal.negated});
}

std::ostream& printGroundAtom(std::ostream& out, ATOMID atom) {
    const ATOM& a = groundAtom(atom);
    if (satLike && !a.isAggregate()) return out << atom;
    return printAtom(out, a);
}

std::ostream& printGroundLiterals(std::ostream& out, const GROUNDLITERAL* first, const GROUNDLITERAL* last,
                                  const char* separator) {
    for (const GROUNDLITERAL* l = first; l != last; ++l) {
        if (l != first) out << separator;
        if (l->negated) out << "not ";
        printGroundAtom(out, l->atom);
    }
    return out;
}

std::ostream& printGroundWeakConstraints(std::ostream& out, const std::vector<GROUNDWEAKCONSTRAINT>& list,
                                         const char* separator) {
    for (size_t i = 0; i < list.size(); ++i) {
        const GROUNDWEAKCONSTRAINT& w = list[i];
        if (i > 0) out << separator;
        out << ":~ ";
        printGroundLiterals(out, w.body.literals.data(), w.body.literals.data() + w.body.literals.size(), ", ");
        out << ". [";
        if (w.weight.kind == TERM_VARIABLE) out << '_' << w.weight.index;
        else if (w.weight.kind == TERM_INTEGER) out << integerValue(w.weight) / 1000;
        out << ':';
        if (w.level.kind == TERM_VARIABLE) out << '_' << w.level.index;
        else if (w.level.kind == TERM_INTEGER) out << integerValue(w.level);
        out << ']';
    }
    return out;
}

std::ostream& printGroundRule(std::ostream& out, const GROUNDRULE& rule) {
    if (rule.head) {
        for (size_t i = 0; i < rule.head->size(); ++i) {
            if (i > 0) out << " v ";
            printGroundAtom(out, (*rule.head)[i]);
        }
    }
    if (rule.body) {
        out << " :- ";
        const auto& ls = rule.body->literals;
        printGroundLiterals(out, ls.data(), ls.data() + ls.size(), ", ");
    }
    return out << '.';
}

}  // namespace veltra
