// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WidgetAppList.h"

#include <QListWidget>

WidgetAppList::WidgetAppList(QListWidget& widget) : widget_(widget) {
    widget_.setSelectionMode(QAbstractItemView::MultiSelection);
}

int WidgetAppList::ListCount() const {
    return widget_.count();
}

QString WidgetAppList::List(int row) const {
    return widget_.item(row)->text();
}

bool WidgetAppList::Selected(int row) const {
    return widget_.item(row)->isSelected();
}

void WidgetAppList::setSelected(int row, bool selected) {
    widget_.item(row)->setSelected(selected);
}

int WidgetAppList::SelCount() const {
    return static_cast<int>(widget_.selectedItems().size());
}

int WidgetAppList::ItemData(int row) const {
    return widget_.item(row)->data(Qt::UserRole).toInt();
}

void WidgetAppList::setItemData(int row, int data) {
    widget_.item(row)->setData(Qt::UserRole, data);
}

int WidgetAppList::AddItem(const QString& text) {
    int row = 0;
    while (row < ListCount() && !listOrderLess(text, List(row)))
        ++row;
    auto* item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, 0);
    widget_.insertItem(row, item);
    return row;
}

void WidgetAppList::setTopIndex(int row) {
    widget_.scrollToItem(widget_.item(row), QAbstractItemView::PositionAtTop);
}
