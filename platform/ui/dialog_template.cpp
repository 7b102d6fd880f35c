// Template lookups and dialog-unit arithmetic; portable.
#include "platform/ui/dialog_template.h"

#include <cstdlib>

const CDlgItem* CDlgTemplate::FindItem(int nItemId) const {
    for (const auto& item : items)
        if (item.nId == nItemId)
            return &item;
    return nullptr;
}

int UiMulDiv(int a, int b, int c) {
    if (c == 0)
        return 0;
    const long long num = static_cast<long long>(a) * b;
    const bool bNegative = (num < 0) != (c < 0);
    const long long absNum = std::llabs(num);
    const long long absDen = std::llabs(static_cast<long long>(c));
    const long long q = (absNum + absDen / 2) / absDen;
    return static_cast<int>(bNegative ? -q : q);
}

CDialogBaseUnits CDialogBaseUnits::FromFontMetrics(int nAlphabetExtent, int nCharHeight) {
    return {(nAlphabetExtent / 26 + 1) / 2, nCharHeight};
}
