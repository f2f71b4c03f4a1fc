// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The application list `lbApps`: sorted rows, several selectable, each with item data
// (the catalog index of its application).
class AppList {
public:
    virtual ~AppList() = default;
    virtual int ListCount() const = 0;
    virtual QString List(int row) const = 0;
    virtual bool Selected(int row) const = 0;
    virtual void setSelected(int row, bool selected) = 0;
    virtual int SelCount() const = 0;
    virtual int ItemData(int row) const = 0;
    virtual void setItemData(int row, int data) = 0;
    // Inserts the text at its sorted place and returns its row; later rows move down.
    virtual int AddItem(const QString& text) = 0;
    virtual void setTopIndex(int row) = 0;
};

// The order of the list's rows: letters compared without regard to case, ties broken by case
// so that the order is total.
inline bool listOrderLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}

// An AppList kept in memory, for front ends without widgets and for tests.
class MemoryAppList final : public AppList {
public:
    struct Row {
        QString text;
        int itemData = 0;
        bool selected = false;
    };

    int ListCount() const override { return static_cast<int>(rows_.size()); }
    QString List(int row) const override { return rows_.at(row).text; }
    bool Selected(int row) const override { return rows_.at(row).selected; }
    void setSelected(int row, bool selected) override { rows_[row].selected = selected; }
    int SelCount() const override {
        int n = 0;
        for (const Row& r : rows_)
            n += r.selected ? 1 : 0;
        return n;
    }
    int ItemData(int row) const override { return rows_.at(row).itemData; }
    void setItemData(int row, int data) override { rows_[row].itemData = data; }
    int AddItem(const QString& text) override {
        int row = 0;
        while (row < ListCount() && !listOrderLess(text, rows_[row].text))
            ++row;
        rows_.insert(row, Row{text, 0, false});
        return row;
    }
    void setTopIndex(int row) override { topIndex_ = row; }
    int topIndex() const { return topIndex_; }

private:
    QList<Row> rows_;
    int topIndex_ = 0;
};
