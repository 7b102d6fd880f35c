// Checks of the program's resource data: the templates hold together and every text the program
// asks for by id exists; portable.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Resources, TemplatesHaveUniqueIdsOneDefaultButtonAndControlsInsideTheDialog) {
    for (int nId : {IDD_MARLOWICK_DIALOG, IDD_BUSY_DIALOG, IDD_TRANSFER_DIALOG}) {
        const CDlgTemplate* t = FindDialogTemplate(nId);
        ASSERT_NE(t, nullptr) << nId;
        EXPECT_EQ(t->nId, nId);
        std::set<int> ids;
        int nDefaults = 0;
        for (const auto& item : t->items) {
            if (item.nId != -1) {
                EXPECT_TRUE(ids.insert(item.nId).second) << nId << ": id " << item.nId;
            }
            if (item.dwStyle & CTRL_DEFAULT) {
                EXPECT_EQ(item.kind, CCtrlKind::PushButton) << item.nId;
                ++nDefaults;
            }
            EXPECT_GE(item.x, 0) << item.nId;
            EXPECT_GE(item.y, 0) << item.nId;
            EXPECT_LE(item.x + item.cx, t->cx) << nId << ": " << item.nId;
            EXPECT_LE(item.y + item.cy, t->cy) << nId << ": " << item.nId;
        }
        EXPECT_EQ(nDefaults, 1) << nId;
        EXPECT_NE(t->FindItem(IDOK), nullptr) << nId;
        EXPECT_NE(t->FindItem(IDCANCEL), nullptr) << nId;
    }
    EXPECT_EQ(FindDialogTemplate(999), nullptr);
    EXPECT_TRUE(GetDialogTemplate(999).items.empty());
}

TEST(Resources, EveryStringIdHasItsText) {
    for (int nId = 1; nId <= 25; ++nId)
        EXPECT_EQ(LoadResString(nId).empty(), nId == 6) << nId;
    // The program's own wording stays as it has always been, misspelling included.
    EXPECT_EQ(LoadResString(IDS_SELECT_FOLDER), "Plseas select a folder from the list:");
}

} // namespace
