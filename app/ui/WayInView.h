// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/check/WayIn.h"

#include <QWidget>

// One port's way in as a picture: a box per hop, left to right, joined by arrows, each marked
// open (a tick), blocked (a cross) or cannot tell (a question mark) in shape as well as colour,
// the words found there below it, and what to do at the bottom.
class WayInView : public QWidget {
    Q_OBJECT
public:
    explicit WayInView(QWidget* parent = nullptr);

    // `port` names it for screen readers: "6660/TCP".
    void setWay(const WayIn& way, const QString& port);
    const WayIn& way() const { return way_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Geometry {
        int boxWidth = 0;
        int boxHeight = 0;
        int wordsHeight = 0;
        int todoHeight = 0;
    };
    Geometry geometryFor(int width) const;

    WayIn way_;
};
