// Builds the page stack and keeps the window fixed and centred.
#include "Widget.h"
#include "ui_Widget.h"

#include "BaseForm.h"
#include "HomeForm.h"
#include "NetForm.h"
#include "SettingResources.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QStyle>

namespace {
constexpr int c_iHomeFormIndex = 0;
constexpr int c_iNetFormIndex = 1;
constexpr int c_iWindowSide = 400;
} // namespace

Widget::Widget(const QString& strPrinterListPath, QWidget* parent) : QWidget(parent), ui(new Ui::Widget)
{
    // The pictures live in this program's static library, whose resources need a nudge to register.
    Q_INIT_RESOURCE(setting);
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(c_iWindowSide, c_iWindowSide);
    setWindowIcon(QIcon(SettingResources::c_strWindowIcon));

    auto* pHome = new HomeForm(c_iNetFormIndex, ui->stackedWidget);
    auto* pNet = new NetForm(strPrinterListPath, ui->stackedWidget);
    ui->stackedWidget->insertWidget(c_iHomeFormIndex, pHome);
    ui->stackedWidget->insertWidget(c_iNetFormIndex, pNet);
    connect(pHome, &HomeForm::SgnChangeForm, this, &Widget::SlotChangeForm);
    connect(pNet, &BaseForm::SgnChangeForm, this, &Widget::SlotChangeForm);
    ui->stackedWidget->setCurrentIndex(c_iHomeFormIndex);

    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), pScreen->availableGeometry()));
}

Widget::~Widget()
{
    delete ui;
}

void Widget::SlotChangeForm(int iIndex)
{
    if (iIndex < 0 || iIndex >= ui->stackedWidget->count())
        return;
    if (iIndex != c_iHomeFormIndex) {
        if (auto* pPage = qobject_cast<BaseForm*>(ui->stackedWidget->widget(iIndex)))
            pPage->InitForm();
    }
    ui->stackedWidget->setCurrentIndex(iIndex);
}
