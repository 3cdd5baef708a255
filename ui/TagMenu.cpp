#include "TagMenu.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>

namespace {

struct Tag {
    const char* text;
    const char* description;
};

struct Group {
    const char* caption;
    std::initializer_list<Tag> tags;
};

QString tr(const char* text) {
    return QCoreApplication::translate("TagMenu", text);
}

} // namespace

std::unique_ptr<QMenu> NameFieldMenu(QLineEdit* field) {
    static const Group groups[] = {
        {QT_TRANSLATE_NOOP("TagMenu", "&Name"),
         {{"<name>", QT_TRANSLATE_NOOP("TagMenu", "the old name without its extension")},
          {"<ext>", QT_TRANSLATE_NOOP("TagMenu", "the old extension")},
          {"<ext:lower>", QT_TRANSLATE_NOOP("TagMenu", "the old extension in lower case")},
          {"<folder>", QT_TRANSLATE_NOOP("TagMenu", "the folder's name")}}},
        {QT_TRANSLATE_NOOP("TagMenu", "&Counter"),
         {{"<n:3>", QT_TRANSLATE_NOOP("TagMenu", "the number in the preview, 3 digits")},
          {"<n:3:10:5>", QT_TRANSLATE_NOOP("TagMenu", "3 digits, from 10, counting by 5")},
          {"<dup:-#>", QT_TRANSLATE_NOOP("TagMenu", "a number only where names clash: -2, -3")}}},
        {QT_TRANSLATE_NOOP("TagMenu", "&Dates"),
         {{"<taken:yyyy-MM-dd HH.mm.ss>", QT_TRANSLATE_NOOP("TagMenu", "when the photo was taken")},
          {"<taken|modified:yyyy-MM-dd>",
           QT_TRANSLATE_NOOP("TagMenu", "taken, or else last changed")},
          {"<modified:yyyy-MM-dd HH.mm.ss>",
           QT_TRANSLATE_NOOP("TagMenu", "when the file was last changed")},
          {"<created:yyyy-MM-dd>", QT_TRANSLATE_NOOP("TagMenu", "the day the file was made")},
          {"<accessed:yyyy-MM-dd>", QT_TRANSLATE_NOOP("TagMenu", "the day the file was last read")},
          {"<now:yyyy-MM-dd>", QT_TRANSLATE_NOOP("TagMenu", "today")}}},
        {QT_TRANSLATE_NOOP("TagMenu", "&Photo"),
         {{"<camera>", QT_TRANSLATE_NOOP("TagMenu", "the camera's make and model")},
          {"<lens>", QT_TRANSLATE_NOOP("TagMenu", "the lens")},
          {"<width>", QT_TRANSLATE_NOOP("TagMenu", "the width in pixels")},
          {"<height>", QT_TRANSLATE_NOOP("TagMenu", "the height in pixels")}}},
        {QT_TRANSLATE_NOOP("TagMenu", "&Music"),
         {{"<artist>", QT_TRANSLATE_NOOP("TagMenu", "the song's artist")},
          {"<albumartist>", QT_TRANSLATE_NOOP("TagMenu", "the album's artist")},
          {"<album>", QT_TRANSLATE_NOOP("TagMenu", "the album")},
          {"<title>", QT_TRANSLATE_NOOP("TagMenu", "the song's title")},
          {"<track:2>", QT_TRANSLATE_NOOP("TagMenu", "the track number, 2 digits")},
          {"<disc>", QT_TRANSLATE_NOOP("TagMenu", "the disc number")},
          {"<year>", QT_TRANSLATE_NOOP("TagMenu", "the year")},
          {"<genre>", QT_TRANSLATE_NOOP("TagMenu", "the genre")}}},
    };
    std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    menu->addSeparator();
    QMenu* tags = menu->addMenu(tr("Insert &tag"));
    for (const Group& g : groups) {
        QMenu* group = tags->addMenu(tr(g.caption));
        for (const Tag& t : g.tags) {
            const QString text = QString::fromLatin1(t.text);
            // "&" would mark an access key in the caption: it is written doubled.
            QAction* a = group->addAction(QString(text).replace(u'&', QLatin1String("&&")) +
                                          QLatin1Char('\t') + tr(t.description));
            QObject::connect(a, &QAction::triggered, field, [field, text] { field->insert(text); });
        }
    }
    return menu;
}
