// Settings window: OK applies the check box to the autostart folder, Cancel and close discard.
#include "AppSetting.h"
#include "ui_AppSetting.h"

#include "DesktopScaling.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>

AppSetting::AppSetting(QWidget* parent, const stMonitorEnvironment& env)
    : QWidget(parent)
    , ui(new Ui::AppSetting)
    , m_env(env)
{
    ui->setupUi(this);
    const QSize sizeDesktop = m_env.DesktopSize();
    m_fScale = DesktopScaling::Factor(sizeDesktop.width());
    if (m_fScale != 1.0f) {
        ScaleControl(this);
        ScaleControl(ui->checkBoxAutoStart);
        ScaleControl(ui->pushButtonOK);
        ScaleControl(ui->pushButtonCancel);
    }
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(size());
    setWindowTitle(QStringLiteral("设置"));
    move(DesktopScaling::CentredOrigin(sizeDesktop, size()));
    ui->checkBoxAutoStart->setText(QStringLiteral("开机启动"));
    ui->pushButtonOK->setText(QStringLiteral("确定"));
    ui->pushButtonCancel->setText(QStringLiteral("取消"));
    InitOption();
}

AppSetting::~AppSetting()
{
    delete ui;
}

void AppSetting::ScaleControl(QWidget* pWidget)
{
    const QRect rect = DesktopScaling::Scale(pWidget->geometry(), m_fScale);
    pWidget->resize(rect.size());
    pWidget->move(rect.topLeft());
}

QString AppSetting::AutoStartEntryPath() const
{
    return QDir(m_env.strAutostartDir).filePath(MonitorPaths::c_strAutostartEntry);
}

bool AppSetting::ReadAutoStartOption() const
{
    return QFile::exists(AutoStartEntryPath());
}

bool AppSetting::SaveAutoStartOption(bool bEnable)
{
    if (!bEnable)
        return QFile::remove(AutoStartEntryPath());
    QDir().mkpath(m_env.strAutostartDir);
    return QFile::copy(m_env.EntrySourcePath(), AutoStartEntryPath());
}

void AppSetting::InitOption()
{
    ui->checkBoxAutoStart->setChecked(ReadAutoStartOption());
}

void AppSetting::SaveOption()
{
    SaveAutoStartOption(ui->checkBoxAutoStart->checkState() != Qt::Unchecked);
}

void AppSetting::on_pushButtonOK_clicked()
{
    hide();
    SaveOption();
    InitOption();
}

void AppSetting::on_pushButtonCancel_clicked()
{
    hide();
    InitOption();
}

void AppSetting::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
    hide();
    InitOption();
}
