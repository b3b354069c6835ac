// The monitor's settings window: one option, whether the monitor starts at log-in, kept as the
// presence of its entry in the desktop's autostart folder.
#pragma once

#include "MonitorEnvironment.h"

#include <QWidget>

namespace Ui {
class AppSetting;
}

class AppSetting : public QWidget {
    Q_OBJECT
public:
    explicit AppSetting(QWidget* parent = nullptr, const stMonitorEnvironment& env = stMonitorEnvironment());
    ~AppSetting() override;

    bool ReadAutoStartOption() const;
    // Copies the shipped entry into the autostart folder, or deletes it there.
    bool SaveAutoStartOption(bool bEnable);
    void InitOption();
    void SaveOption();
    void ScaleControl(QWidget* pWidget);

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private slots:
    void on_pushButtonOK_clicked();
    void on_pushButtonCancel_clicked();

private:
    QString AutoStartEntryPath() const;

    Ui::AppSetting* ui;
    const stMonitorEnvironment m_env;
    float m_fScale = 1.0f;
};
