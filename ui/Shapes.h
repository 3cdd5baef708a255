#pragma once

#include <QColor>
#include <QWidget>

// A drawn rounded rectangle that groups controls: no fill, no events.
class ShapeOutline : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit ShapeOutline(QWidget* parent = nullptr);
    QColor color() const { return m_color; }
    void setColor(const QColor& c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color{70, 2, 65};
};

// A straight horizontal line across the widget, thickness pixels from its top.
class LineShape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(int thickness READ thickness WRITE setThickness)
public:
    explicit LineShape(QWidget* parent = nullptr);
    QColor color() const { return m_color; }
    void setColor(const QColor& c);
    int thickness() const { return m_thickness; }
    void setThickness(int t);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color{Qt::black};
    int m_thickness = 1;
};

#include <QGroupBox>

// A settings page: a framed area with its caption in the top border, on the window's own
// background (the style's shaded group box panel is left out).
class PageFrame : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override;
};
