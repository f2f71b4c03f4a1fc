// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/AppList.h"

class QListWidget;

// `lbApps` over a QListWidget: rows kept in list order, each click toggling a row.
class WidgetAppList final : public AppList {
public:
    explicit WidgetAppList(QListWidget& widget);

    int ListCount() const override;
    QString List(int row) const override;
    bool Selected(int row) const override;
    void setSelected(int row, bool selected) override;
    int SelCount() const override;
    int ItemData(int row) const override;
    void setItemData(int row, int data) override;
    int AddItem(const QString& text) override;
    void setTopIndex(int row) override;

private:
    QListWidget& widget_;
};
