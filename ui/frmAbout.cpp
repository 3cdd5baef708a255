#include "frmAbout.h"
#include "ui_frmAbout.h"

#include "Dialogs.h"
#include "Look.h"
#include "SysInfo.h"

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::frmAbout>()) {
    m_ui->setupUi(this);
    setFixedSize(382, 237);
    ApplyProgramLook(this);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    const QFont heading = Verdana(9.75, true);
    m_ui->lblTitle->setFont(heading);
    m_ui->lblDescription->setFont(heading);
    // Where Verdana is missing the fallback font runs wider: grow around the same centre.
    for (QLabel* label : {m_ui->lblTitle, m_ui->lblDescription}) {
        label->setAlignment(Qt::AlignCenter);
        const int need = label->sizeHint().width();
        if (need > label->width()) {
            const QRect g = label->geometry();
            label->setGeometry(g.center().x() - need / 2, g.y(), need, g.height());
        }
    }
    m_ui->picIcon->setPixmap(ProgramIcon().pixmap(32, 32));
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(m_ui->cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

frmAbout::~frmAbout() = default;

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    if (!StartSystemInformationTool())
        Dialogs::Message(this, QStringLiteral("System Information Is Unavailable At This Time"),
                         Dialogs::Icon::None);
}
