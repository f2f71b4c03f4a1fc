// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WayInView.h"

#include "platform/ShownText.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int Margin = 8;
constexpr int ArrowWidth = 28;
constexpr int MarkSize = 22;
constexpr int Padding = 6;
constexpr int Gap = 6;
constexpr int MinBoxWidth = 96;

QColor colourOf(HopState state) {
    switch (state) {
    case HopState::Open:
        return {0x2e, 0x7d, 0x32};
    case HopState::Blocked:
        return {0xc6, 0x28, 0x28};
    case HopState::CannotTell:
        break;
    }
    return {0x75, 0x75, 0x75};
}

constexpr int TextFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop;

// The hop's mark: the shape tells the state without its colour.
void paintMark(QPainter& p, const QRect& r, HopState state) {
    const QColor c = colourOf(state);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(r);
    QPen pen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF in = QRectF(r).adjusted(6, 6, -6, -6);
    switch (state) {
    case HopState::Open: {
        QPainterPath tick;
        tick.moveTo(in.left(), in.center().y());
        tick.lineTo(in.left() + in.width() * 0.4, in.bottom());
        tick.lineTo(in.right(), in.top());
        p.drawPath(tick);
        break;
    }
    case HopState::Blocked:
        p.drawLine(in.topLeft(), in.bottomRight());
        p.drawLine(in.topRight(), in.bottomLeft());
        break;
    case HopState::CannotTell: {
        QFont f = p.font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
}

void paintArrow(QPainter& p, int x, int y, const QColor& colour) {
    p.setPen(QPen(colour, 2));
    p.drawLine(x + 4, y, x + ArrowWidth - 6, y);
    p.setBrush(colour);
    const QPointF head[3] = {QPointF(x + ArrowWidth - 4, y), QPointF(x + ArrowWidth - 11, y - 5),
                             QPointF(x + ArrowWidth - 11, y + 5)};
    p.drawPolygon(head, 3);
}

} // namespace

WayInView::WayInView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(tr("Way in"));
    // Read with the keyboard: Tab stops here, and a screen reader reads the description.
    setFocusPolicy(Qt::TabFocus);
}

void WayInView::setWay(const WayIn& way, const QString& port) {
    way_ = way;
    setAccessibleName(tr("Way in of %1").arg(port));
    const QStringList lines = WayInLines(way);
    setAccessibleDescription(ShownText(lines.join(QLatin1Char('\n'))));
    setToolTip(ShownText(lines.join(QLatin1Char('\n'))));
    updateGeometry();
    update();
}

WayInView::Geometry WayInView::geometryFor(int width) const {
    Geometry g;
    const auto n = int(std::max<qsizetype>(1, way_.hops.size()));
    g.boxWidth = std::max(MinBoxWidth, (width - 2 * Margin - (n - 1) * ArrowWidth) / n);
    const QFontMetrics fm(font());
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics bm(bold);
    const int textWidth = g.boxWidth - 2 * Padding;
    for (const Hop& h : way_.hops) {
        const int name =
            bm.boundingRect(0, 0, textWidth, 1000, TextFlags, ShownText(h.name)).height();
        g.boxHeight = std::max(g.boxHeight, Padding + MarkSize + Gap + name + Padding);
        g.wordsHeight = std::max(
            g.wordsHeight,
            fm.boundingRect(0, 0, textWidth, 1000, TextFlags, ShownText(h.words)).height());
    }
    if (!way_.todo.isEmpty())
        g.todoHeight = bm.boundingRect(0, 0, width - 2 * Margin, 1000, Qt::TextWordWrap,
                                       tr("To do: %1").arg(ShownText(way_.todo)))
                           .height();
    return g;
}

int WayInView::heightForWidth(int width) const {
    const Geometry g = geometryFor(width);
    return Margin + g.boxHeight + Gap + g.wordsHeight + (g.todoHeight ? Gap + g.todoHeight : 0) +
           Margin;
}

QSize WayInView::sizeHint() const {
    return {760, heightForWidth(760)};
}

QSize WayInView::minimumSizeHint() const {
    const int n = int(std::max<qsizetype>(1, way_.hops.size()));
    const int width = 2 * Margin + n * MinBoxWidth + (n - 1) * ArrowWidth;
    return {width, heightForWidth(width)};
}

void WayInView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Geometry g = geometryFor(width());
    const QColor text = palette().color(QPalette::WindowText);
    QFont bold = font();
    bold.setBold(true);
    int x = Margin;
    for (qsizetype i = 0; i < way_.hops.size(); ++i) {
        const Hop& h = way_.hops[i];
        const QRect box(x, Margin, g.boxWidth, g.boxHeight);
        p.setPen(QPen(colourOf(h.state), h.state == HopState::Blocked ? 2.5 : 1.5));
        p.setBrush(palette().color(QPalette::Base));
        p.drawRoundedRect(QRectF(box).adjusted(1, 1, -1, -1), 6, 6);
        paintMark(p,
                  QRect(box.center().x() - MarkSize / 2, box.top() + Padding, MarkSize, MarkSize),
                  h.state);
        p.setFont(bold);
        p.setPen(text);
        p.drawText(box.adjusted(Padding, Padding + MarkSize + Gap, -Padding, -Padding), TextFlags,
                   ShownText(h.name));
        p.setFont(font());
        p.drawText(QRect(x + Padding, box.bottom() + Gap, g.boxWidth - 2 * Padding, g.wordsHeight),
                   TextFlags, ShownText(h.words));
        x += g.boxWidth;
        if (i + 1 < way_.hops.size())
            paintArrow(p, x, box.center().y(), text);
        x += ArrowWidth;
    }
    if (!way_.todo.isEmpty()) {
        p.setFont(bold);
        p.setPen(text);
        p.drawText(QRect(Margin, Margin + g.boxHeight + Gap + g.wordsHeight + Gap,
                         width() - 2 * Margin, g.todoHeight),
                   Qt::TextWordWrap, tr("To do: %1").arg(ShownText(way_.todo)));
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
