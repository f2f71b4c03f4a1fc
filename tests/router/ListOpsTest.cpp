// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/ListOps.h"

#include "QtPrint.h"
#include "config/Settings.h"
#include "router/AppList.h"

#include <gtest/gtest.h>

namespace {

TEST(NextListItemTest, WalksCommaTerminatedItems) {
    QString list = QStringLiteral("A,B,");
    EXPECT_EQ(NextListItem(list), QStringLiteral("A"));
    EXPECT_EQ(NextListItem(list), QStringLiteral("B"));
    EXPECT_EQ(NextListItem(list), QString());
    list = QStringLiteral("A,B");
    EXPECT_EQ(NextListItem(list), QStringLiteral("A"));
    EXPECT_EQ(NextListItem(list), QString());
    EXPECT_EQ(list, QStringLiteral("B"));
}

TEST(ApplicationList, FillKeepsIndexesAndTurnsNamesIntoKeys) {
    ApplCatalog catalog;
    catalog.entries = {ApplEntry{QStringLiteral("web Server"), {}},
                       ApplEntry{QStringLiteral("Alpha"), {}},
                       ApplEntry{QStringLiteral("Web Server"), {}}};
    MemoryAppList list;
    FillApplicationList(list, catalog);
    ASSERT_EQ(list.ListCount(), 3);
    EXPECT_EQ(list.List(0), QStringLiteral("Alpha"));
    EXPECT_EQ(list.ItemData(0), 2);
    EXPECT_EQ(catalog.entry(1).Name, QStringLiteral("webServer"));
    EXPECT_EQ(CatalogIndexOf(list, QStringLiteral("WebServer")), 3);
    EXPECT_EQ(CatalogIndexOf(list, QStringLiteral("Nothing")), -1);
    EXPECT_EQ(FindListIndex(list, QStringLiteral("WebServer"), false), -1);
}

TEST(ApplicationList, TwoNamesEqualWithoutSpacesShareTheFirstRow) {
    ApplCatalog catalog;
    catalog.entries = {ApplEntry{QStringLiteral("A B"), {}}, ApplEntry{QStringLiteral("AB"), {}}};
    MemoryAppList list;
    FillApplicationList(list, catalog);
    EXPECT_EQ(list.ItemData(0), 2);
    EXPECT_EQ(list.ItemData(1), 0);
}

TEST(ApplicationList, RestoreSelectionSelectsNamedRowsAndScrolls) {
    MemoryAppList list;
    for (const char* n : {"Alpha", "Beta", "Gamma", "Delta"})
        list.AddItem(QString::fromLatin1(n));
    RestoreSelection(list, QStringLiteral("Gamma,Gone,Beta,Delta"));
    EXPECT_TRUE(list.Selected(FindListIndex(list, QStringLiteral("Gamma"), false)));
    EXPECT_TRUE(list.Selected(FindListIndex(list, QStringLiteral("Beta"), false)));
    EXPECT_FALSE(list.Selected(FindListIndex(list, QStringLiteral("Delta"), false)));
    EXPECT_EQ(list.topIndex(), FindListIndex(list, QStringLiteral("Gamma"), false));
    const ListSelection s = SelectedRows(list);
    EXPECT_EQ(s.display, QStringLiteral("Beta,Gamma,"));
}

} // namespace
