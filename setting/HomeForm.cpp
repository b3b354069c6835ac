// The home page; its pictures keep their proportions at the widths the layout gives them.
#include "HomeForm.h"
#include "ui_HomeForm.h"

#include "SettingResources.h"

#include <QPixmap>
#include <QPushButton>

namespace {
constexpr int c_iLogoWidth = 60;
constexpr int c_iNetButtonWidth = 200;
constexpr int c_iNetButtonTop = 200;
} // namespace

HomeForm::HomeForm(int iNetFormIndex, QWidget* parent)
    : QWidget(parent), ui(new Ui::HomeForm), m_iNetFormIndex(iNetFormIndex)
{
    ui->setupUi(this);
    const QPixmap pixLogo = QPixmap(SettingResources::c_strHomeLogo).scaledToWidth(c_iLogoWidth, Qt::SmoothTransformation);
    ui->labelLogo->setPixmap(pixLogo);
    ui->labelLogo->resize(c_iLogoWidth, pixLogo.height());

    const QPixmap pixButton(SettingResources::c_strNetButton);
    const int iButtonHeight = pixButton.isNull() ? ui->pushButtonNet->height()
                                                 : pixButton.height() * c_iNetButtonWidth / pixButton.width();
    ui->pushButtonNet->setGeometry((width() - c_iNetButtonWidth) / 2, c_iNetButtonTop, c_iNetButtonWidth, iButtonHeight);
    connect(ui->pushButtonNet, &QPushButton::clicked, this, &HomeForm::OnButtonNetFormClicked);
}

HomeForm::~HomeForm()
{
    delete ui;
}

void HomeForm::OnButtonNetFormClicked()
{
    emit SgnChangeForm(m_iNetFormIndex);
}
