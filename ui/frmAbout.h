#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

public slots:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();

private:
    std::unique_ptr<Ui::frmAbout> m_ui;
};
