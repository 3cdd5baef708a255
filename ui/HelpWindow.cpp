#include "HelpWindow.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace HelpWindow {

void Show(QWidget* owner, Page page) {
    // Not modal: the guide can stay open beside the work.
    auto* dialog = new QDialog(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("frmHelp"));
    dialog->setWindowTitle(page == Page::Contents ? QObject::tr("ZOV Help")
                                                  : QObject::tr("ZOV: Frequently Asked Questions"));
    dialog->resize(560, 480);
    auto* layout = new QVBoxLayout(dialog);
    auto* text = new QTextBrowser(dialog);
    text->setObjectName(QStringLiteral("txtHelp"));
    text->setOpenLinks(false);
    text->setSource(QUrl(page == Page::Contents ? QStringLiteral("qrc:/help/contents.html")
                                                : QStringLiteral("qrc:/help/faq.html")));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->show();
}

} // namespace HelpWindow
