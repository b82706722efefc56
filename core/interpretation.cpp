// core/interpretation.cpp: undoing the logged changes of an interpretation.
#include "core/interpretation.h"

namespace veltra {

void INTERPRETATION::pushMarkers() {
    atomLog.push_back(ATOMLOGENTRY{-1, 0});
    costLog.push_back(COSTLOGENTRY{-1, 0});
}

void INTERPRETATION::undoToMarkers() {
    while (!atomLog.empty()) {
        ATOMLOGENTRY e = atomLog.back();
        atomLog.pop_back();
        if (e.atom < 0) break;
        if (values[e.atom] == TV_MUSTBETRUE)
            --mustBeTrueCount;
        else if (e.oldValue == TV_MUSTBETRUE)
            ++mustBeTrueCount;
        values[e.atom] = e.oldValue;
    }
    while (!costLog.empty()) {
        COSTLOGENTRY e = costLog.back();
        costLog.pop_back();
        if (e.slot < 0) break;
        cost.values[e.slot] = e.oldCost;
    }
}

}  // namespace veltra
