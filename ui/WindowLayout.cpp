#include "WindowLayout.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>

#include <cmath>

namespace {

using S = WindowLayout::Share;
constexpr S kAcross{0, 1, 0, 1, 0, 0};      // as wide as the window grows
constexpr S kRight{1, 0, 1, 0, 0, 0};       // at the window's right edge
constexpr S kBottom{0, 0, 0, 0, 1, 0};      // at its bottom
constexpr S kBottomRight{1, 0, 1, 0, 1, 0}; // in its bottom right corner
constexpr S kField{0, 1, 0, 0, 0, 0};       // as wide as the settings pages grow
constexpr S kPageEdge{1, 0, 0, 0, 0, 0};    // at the settings pages' right edge
constexpr S kBelowFirstList{0, 0, 0, 0, 0.5f, 0};

struct Rule {
    const char* name;
    WindowLayout::Share share;
};

// The preview list's new and old names share its width where it has more than its smallest.
constexpr double kNewNameShare = 0.55;

} // namespace

WindowLayout::WindowLayout(QWidget* client, QSize smallest)
    : QObject(client), m_client(client), m_base(smallest) {
    // Extra width: the pages take S, the file lists L. Extra height: the lists half each.
    const Rule rules[] = {
        // The source row, the bar and the buttons follow the window's edges.
        {"shpSource", kAcross},
        {"txtSourceFiles", kAcross},
        {"cmdBrowseSource", kRight},
        {"fraThree", {0, 1, 0, 0, 0, 1}},
        {"fraFour", {0, 1, 0, 0, 0, 1}},
        {"fraSix", {0, 1, 0, 0, 0, 1}},
        {"fraSeven", {1, 0, 0, 1, 0, 1}},
        {"pbrTavlo", {0, 1, 0, 1, 1, 0}},
        {"cmdAbout", kBottom},
        {"cmdPrevious", kBottom},
        {"cmdNext", kBottom},
        {"cmdUndo", kBottomRight},
        {"cmdStart", kBottomRight},
        {"cmdExit", kBottomRight},
        // Rename Settings: the name fields take the page's growth.
        {"shpFilenameModifications", kField},
        {"shpSequencing", kField},
        {"shpExtension", kField},
        {"txtPrefix", kField},
        {"txtSuffix", kField},
        {"txtReplaceString", {0, 0.5f, 0, 0, 0, 0}},
        {"lblWith", {0.5f, 0, 0, 0, 0, 0}},
        {"txtWith", {0.5f, 0.5f, 0, 0, 0, 0}},
        {"txtSeqPrefix", kField},
        {"txtSeqSuffix", kField},
        {"lblDigitStartWith", kPageEdge},
        {"txtDigitStartWith", kPageEdge},
        {"lblDigits", kPageEdge},
        {"txtDigits", kPageEdge},
        {"txtChangeExtension", kField},
        {"txtAppendExtension", kField},
        // Advanced and Filter Settings: the outlines, and the extension lists side by side.
        {"shpModifyAttributes", kField},
        {"shpModifyDateTime", kField},
        {"shpFilterOnAttributes", kField},
        {"shpFilterOnTimes", kField},
        {"shpFilterOnExtensions", kField},
        {"lblIncludeExclude", kField},
        {"lstInclude", {0, 0.5f, 0, 0, 0, 0}},
        {"chkExclude", {0.5f, 0, 0, 0, 0, 0}},
        {"lstExclude", {0.5f, 0.5f, 0, 0, 0, 0}},
        // The file lists panel: each list takes half the height; what lies below the first
        // moves down with it.
        {"lblOriginalFilesSelected", {0, 0, 0, 1, 0, 0}},
        {"lstOriginal", {0, 0, 0, 1, 0, 0.5f}},
        {"chkSelectAll", kBelowFirstList},
        {"cmdUp", kBelowFirstList},
        {"cmdDown", kBelowFirstList},
        {"cmdRefresh", kBelowFirstList},
        {"cmdPreview", {0, 0, 1, 0, 0.5f, 0}},
        {"lnePreview", {0, 0, 0, 1, 0.5f, 0}},
        {"lblPreview", kBelowFirstList},
        {"lblPreviewFiles", {0, 0, 0, 1, 0.5f, 0}},
        {"lstChanged", {0, 0, 0, 1, 0.5f, 0.5f}},
    };
    for (const Rule& r : rules)
        add(r.name, r.share);
    m_preview = client->findChild<QTreeView*>(QStringLiteral("lstChanged"));
    client->installEventFilter(this);
}

int WindowLayout::SettingsShare(int extra) {
    // A third, up to what a long name pattern needs.
    return std::min(extra / 3, 400);
}

void WindowLayout::add(const char* name, Share share) {
    if (auto* w = m_client->findChild<QWidget*>(QLatin1String(name)))
        m_items.push_back({w, w->geometry(), share});
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}

void WindowLayout::apply() {
    const int extraWidth = std::max(0, m_client->width() - m_base.width());
    const int extraHeight = std::max(0, m_client->height() - m_base.height());
    const int settings = SettingsShare(extraWidth);
    const int lists = extraWidth - settings;
    // Halves are rounded down for the first list and up below it, so the two meet.
    auto part = [](float share, int extra) { return int(std::floor(share * float(extra))); };
    for (const Item& i : m_items) {
        const Share& s = i.share;
        const int x = i.base.x() + part(s.x, settings) + part(s.listX, lists);
        const int y = i.base.y() + part(s.y, extraHeight);
        const int width = i.base.width() + part(s.width, settings) + part(s.listWidth, lists);
        const int height = i.base.height() + part(s.height, extraHeight);
        i.widget->setGeometry(x, y, width, height);
    }
    // Where the preview list is wider than at its smallest, its hidden column shows the old
    // name beside the new one.
    if (!m_preview)
        return;
    const bool room = lists > 0;
    QHeaderView* header = m_preview->header();
    header->setStretchLastSection(room);
    m_preview->setColumnHidden(1, !room);
    m_preview->setColumnWidth(
        0, room ? int(m_preview->maximumViewportSize().width() * kNewNameShare) : 248);
    if (!room)
        m_preview->setColumnWidth(1, 0);
}
