// core/flatlists.h: read-only views of contiguous runs, and many lists in one
// flat array (compressed rows) with the builder that counts, then fills.
#pragma once
#include <cassert>
#include <cstddef>
#include <vector>

namespace veltra {

// A read-only view of a contiguous run of elements.
template <class T>
struct LISTVIEW {
    const T* first = nullptr;
    const T* last = nullptr;

    const T* begin() const { return first; }
    const T* end() const { return last; }
    size_t size() const { return static_cast<size_t>(last - first); }
    bool empty() const { return first == last; }
    const T& operator[](size_t i) const {
        assert(i < size());
        return first[i];
    }
};

// Many lists in one flat array (compressed rows): list i holds
// items[start[i] .. start[i + 1]). start has size() + 1 entries, or none.
// INDEX is the type of the offsets (32 bits where the lists are hot).
template <class T, class INDEX = size_t>
struct FLATLISTS {
    std::vector<INDEX> start;
    std::vector<T> items;

    size_t size() const { return start.empty() ? 0 : start.size() - 1; }
    LISTVIEW<T> operator[](size_t i) const {
        assert(i + 1 < start.size());
        return LISTVIEW<T>{items.data() + start[i], items.data() + start[i + 1]};
    }
    // Whether list i is empty.
    bool empty(size_t i) const { return start[i] == start[i + 1]; }
    // No lists, and the memory released.
    void clear() {
        std::vector<INDEX>().swap(start);
        std::vector<T>().swap(items);
    }
};

// Builds a FLATLISTS in two walks over the same input: the first counts the
// items of every list, layOut() turns the counts into offsets, the second
// places them. Within a list, add() keeps the order of the walk from the
// list's fill point on; addLeading() fills the leading run before the fill
// point backwards (so the run ends up in reverse order of the walk).
//   FLATLISTSBUILDER<int32_t> b(rows, n);
//   for (edge e) b.count(e.from);
//   b.layOut();
//   for (edge e) b.add(e.from, e.to);
template <class T, class INDEX = size_t>
class FLATLISTSBUILDER {
public:
    // pre: the walks name lists 0 .. lists-1 (see resize).
    FLATLISTSBUILDER(FLATLISTS<T, INDEX>& target, size_t lists) : table(target) { table.start.assign(lists + 1, 0); }

    size_t lists() const { return table.start.size() - 1; }
    // While counting: more lists (new ones empty); never fewer.
    void resize(size_t lists) {
        assert(lists + 1 >= table.start.size());
        table.start.resize(lists + 1, 0);
    }
    void count(size_t list) {
        assert(list + 1 < table.start.size());
        ++table.start[list + 1];
    }
    // After counting: the counts become offsets, the items default values,
    // and the fill point of list i lies lead[i] items into it (at its start
    // when lead is null).
    void layOut(const std::vector<INDEX>* lead = nullptr) {
        size_t n = lists();
        for (size_t i = 0; i < n; ++i) table.start[i + 1] += table.start[i];
        table.items.assign(table.start[n], T());
        back.assign(table.start.begin(), table.start.end() - 1);
        if (lead) {
            for (size_t i = 0; i < n; ++i) back[i] += (*lead)[i];
            front = back;
        }
    }
    // The next item of list after its fill point.
    void add(size_t list, const T& item) { table.items[back[list]++] = item; }
    // The next item of list's leading run (layOut with lead only).
    void addLeading(size_t list, const T& item) { table.items[--front[list]] = item; }

private:
    FLATLISTS<T, INDEX>& table;
    std::vector<INDEX> front, back;  // fill cursors per list
};

}  // namespace veltra
