// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class AppList;
struct ApplCatalog;

// The text with every space removed: list keys are names without spaces, and the web
// kind's scanners search its pages this way.
QByteArray RemoveSpaces(const QByteArray& text);
QString RemoveSpaces(const QString& text);

// The next comma-terminated item of sList, which loses it and its comma; empty text, with
// sList unchanged, when no comma is left.
QString NextListItem(QString& sList);

// The first row whose text (without its spaces when bRemoveSpaces) equals sName, or -1.
int FindListIndex(const AppList& list, const QString& sName, bool bRemoveSpaces);

// The catalog index stored with the row of key sKey, or -1 when no row has that key.
int CatalogIndexOf(const AppList& list, const QString& sKey);

// Lists every catalog entry as a row that keeps its index, and turns each entry's name into
// its key (spaces removed).
void FillApplicationList(AppList& list, ApplCatalog& catalog);

// Selects the rows named, each followed by a comma, in sSelected; the first one selected
// becomes the top row.
void RestoreSelection(AppList& list, QString sSelected);

// The display names and keys of the selected rows, each followed by a comma.
struct ListSelection {
    QString display;
    QString keys;
};
ListSelection SelectedRows(const AppList& list);
