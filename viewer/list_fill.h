// Filling Vellumo's sorted drop-down list fast with many thousand names.
#pragma once
#include <windows.h>

#include <vector>

namespace vellumo {

// Appends `names` to the sorted (CBS_SORT) combo box `combo` in the order the control's own
// comparison gives them, the same list as adding them one by one with CB_ADDSTRING but
// without the control's search and move per name. `names` is left in that order.
void FillSortedList(HWND combo, std::vector<const char*>* names);

}  // namespace vellumo
