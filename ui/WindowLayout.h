#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

#include <vector>

class QTreeView;
class QWidget;

// Lays the main window out for the size it has, from the places the form gives its controls
// at its smallest size: each control moves or grows by shares of what the window has grown.
// Extra height goes to the two lists; extra width to the lists and, for a part, to the text
// fields of the settings pages.
class WindowLayout : public QObject {
public:
    // Shares of the growth in width of the settings pages (x, width), of the file lists
    // (listX, listWidth), and of the growth in height (y, height).
    struct Share {
        float x = 0, width = 0, listX = 0, listWidth = 0, y = 0, height = 0;
    };

    // client: the window's client area, with the form's controls at their places for its
    // smallest size, smallest.
    WindowLayout(QWidget* client, QSize smallest);

    // Of a width grown by extra pixels, what the settings pages take: the rest goes to the
    // lists, which show what the window exists to show.
    static int SettingsShare(int extra);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void add(const char* name, Share share);
    void apply();

    struct Item {
        QWidget* widget;
        QRect base;
        Share share;
    };
    QWidget* m_client;
    QSize m_base;
    std::vector<Item> m_items;
    QTreeView* m_preview = nullptr;
};
