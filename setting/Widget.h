// The maintenance tool's window: a fixed 400 x 400 frame around a stack of pages, the home page
// first, switched by the pages' own requests.
#pragma once

#include "VornPaths.h"

#include <QWidget>

namespace Ui {
class Widget;
}

class Widget : public QWidget {
    Q_OBJECT

public:
    explicit Widget(const QString& strPrinterListPath = VornPaths::c_strCfgDir + VornPaths::c_strPrinterListFile,
                    QWidget* parent = nullptr);
    ~Widget() override;

public slots:
    // Shows page iIndex; a working page prepares itself first. Indexes outside the stack are ignored.
    void SlotChangeForm(int iIndex);

private:
    Ui::Widget* ui;
};
