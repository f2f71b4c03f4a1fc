// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/ListOps.h"

#include "config/Settings.h"
#include "router/AppList.h"

QString NextListItem(QString& sList) {
    const qsizetype comma = sList.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    const QString item = sList.left(comma);
    sList.remove(0, comma + 1);
    return item;
}

int FindListIndex(const AppList& list, const QString& sName, bool bRemoveSpaces) {
    for (int row = 0; row < list.ListCount(); ++row) {
        const QString text = bRemoveSpaces ? RemoveSpaces(list.List(row)) : list.List(row);
        if (text == sName)
            return row;
    }
    return -1;
}

int CatalogIndexOf(const AppList& list, const QString& sKey) {
    const int row = FindListIndex(list, sKey, true);
    return row < 0 ? -1 : list.ItemData(row);
}

void FillApplicationList(AppList& list, ApplCatalog& catalog) {
    for (int i = 1; i <= catalog.ApplCount(); ++i) {
        ApplEntry& entry = catalog.entry(i);
        list.AddItem(entry.Name);
        entry.Name = RemoveSpaces(entry.Name);
        const int row = FindListIndex(list, entry.Name, true);
        if (row >= 0)
            list.setItemData(row, i);
    }
}

void RestoreSelection(AppList& list, QString sSelected) {
    bool first = true;
    for (QString item = NextListItem(sSelected); !item.isEmpty(); item = NextListItem(sSelected)) {
        const int row = FindListIndex(list, item, false);
        if (row < 0)
            continue;
        list.setSelected(row, true);
        if (first)
            list.setTopIndex(row);
        first = false;
    }
}

ListSelection SelectedRows(const AppList& list) {
    ListSelection s;
    for (int row = 0; row < list.ListCount(); ++row) {
        if (!list.Selected(row) || list.ItemData(row) < 0)
            continue;
        s.display += list.List(row) + QLatin1Char(',');
        s.keys += RemoveSpaces(list.List(row)) + QLatin1Char(',');
    }
    return s;
}

QByteArray RemoveSpaces(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != ' ')
            out += c;
    return out;
}

QString RemoveSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c != QLatin1Char(' '))
            out += c;
    return out;
}
