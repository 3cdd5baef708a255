#include "Shapes.h"

#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

ShapeOutline::ShapeOutline(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeOutline::setColor(const QColor& c) {
    m_color = c;
    update();
}

void ShapeOutline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_color, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

LineShape::LineShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineShape::setColor(const QColor& c) {
    m_color = c;
    update();
}

void LineShape::setThickness(int t) {
    m_thickness = t;
    update();
}

void LineShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(QRect(0, 0, width(), m_thickness), m_color);
}

void PageFrame::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect label =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    const int top = label.center().y();
    p.setPen(palette().color(QPalette::Mid));
    QRect frame = rect().adjusted(0, top, -1, -1);
    p.save();
    p.setClipRegion(QRegion(rect()).subtracted(label.adjusted(-2, 0, 2, 0)));
    p.drawRect(frame);
    p.restore();
    option.subControls = QStyle::SC_GroupBoxLabel;
    p.drawComplexControl(QStyle::CC_GroupBox, option);
}
