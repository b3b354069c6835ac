// The maintenance tool's home page: the logo, the title and the way to the network settings.
#pragma once

#include <QWidget>

namespace Ui {
class HomeForm;
}

class HomeForm : public QWidget {
    Q_OBJECT

public:
    // iNetFormIndex: where the network settings page sits in the window's page stack.
    explicit HomeForm(int iNetFormIndex, QWidget* parent = nullptr);
    ~HomeForm() override;

signals:
    void SgnChangeForm(int iIndex);

private slots:
    void OnButtonNetFormClicked();

private:
    Ui::HomeForm* ui;
    const int m_iNetFormIndex;
};
