// A small Qt program with one of each widget the suite's windows use (table, line edit, combo
// box, message box, tray icon with a menu and a balloon), for the desktop fixture's own test.
#include "ProgramOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int c_iWindowWidth = 720;
constexpr int c_iWindowHeight = 520;
constexpr int c_iIconSize = 32;
constexpr int c_iIconMargin = 8;
constexpr int c_iBalloonTimeoutMs = 4000;

const char* const c_listHeaders[] = {"打印机", "状态", "Serial"};
const char* const c_listRows[][3] = {
    {"VL2120DN", "就绪", "SN0001"},
    {"VL3300", "缺纸", "SN0002"},
};
const char* const c_listPaperSizes[] = {"A4", "Letter", "信封"};

QIcon DrawnIcon()
{
    QPixmap pixmap(c_iIconSize, c_iIconSize);
    pixmap.fill(Qt::darkCyan);
    QPainter painter(&pixmap);
    painter.fillRect(pixmap.rect().adjusted(c_iIconMargin, c_iIconMargin, -c_iIconMargin, -c_iIconMargin), Qt::white);
    return QIcon(pixmap);
}

QTableWidget* MakeTable(QWidget* parent)
{
    auto* table = new QTableWidget(static_cast<int>(std::size(c_listRows)), static_cast<int>(std::size(c_listHeaders)), parent);
    table->setAccessibleName("printers");
    QStringList listHeaders;
    for (const char* szHeader : c_listHeaders)
        listHeaders << QString::fromUtf8(szHeader);
    table->setHorizontalHeaderLabels(listHeaders);
    for (int iRow = 0; iRow < table->rowCount(); ++iRow) {
        for (int iColumn = 0; iColumn < table->columnCount(); ++iColumn)
            table->setItem(iRow, iColumn, new QTableWidgetItem(QString::fromUtf8(c_listRows[iRow][iColumn])));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

int main(int argc, char** argv)
{
    if (AnswerStandardOptions(argc, argv, "") == enStandardOption::Answered)
        return 0;
    QApplication app(argc, argv);
    app.setApplicationName("VornDesktopProbe");
    // The tray icon is the program's way back to the window; closing the window must not end it.
    app.setQuitOnLastWindowClosed(false);

    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("探针窗口"));
    window.resize(c_iWindowWidth, c_iWindowHeight);
    auto* central = new QWidget(&window);
    auto* layout = new QVBoxLayout(central);
    auto* heading = new QLabel(QString::fromUtf8("打印机状态：就绪"), central);
    auto* echo = new QLabel(QString::fromUtf8("已输入："), central);
    auto* result = new QLabel(QString::fromUtf8("结果："), central);
    auto* name = new QLineEdit(central);
    name->setAccessibleName(QString::fromUtf8("名称"));
    auto* paper = new QComboBox(central);
    for (const char* szSize : c_listPaperSizes)
        paper->addItem(QString::fromUtf8(szSize));
    auto* paperEcho = new QLabel(QString::fromUtf8("纸张：A4"), central);
    auto* ask = new QPushButton(QString::fromUtf8("显示消息"), central);
    auto* hide = new QPushButton(QString::fromUtf8("隐藏窗口"), central);
    auto* locked = new QPushButton(QString::fromUtf8("不可用"), central);
    auto* autostart = new QCheckBox(QString::fromUtf8("开机自动启动"), central);
    locked->setEnabled(false);
    layout->addWidget(heading);
    layout->addWidget(MakeTable(central));
    layout->addWidget(name);
    layout->addWidget(echo);
    layout->addWidget(paper);
    layout->addWidget(paperEcho);
    layout->addWidget(ask);
    layout->addWidget(hide);
    layout->addWidget(locked);
    layout->addWidget(autostart);
    layout->addWidget(result);
    window.setCentralWidget(central);

    QObject::connect(name, &QLineEdit::textChanged, echo,
                     [echo](const QString& strText) { echo->setText(QString::fromUtf8("已输入：") + strText); });
    QObject::connect(paper, &QComboBox::currentTextChanged, paperEcho, [paperEcho](const QString& strText) {
        paperEcho->setText(QString::fromUtf8("纸张：") + strText);
    });
    QObject::connect(hide, &QPushButton::clicked, &window, &QWidget::hide);
    QObject::connect(ask, &QPushButton::clicked, &window, [&window, result] {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8("提示"), QString::fromUtf8("打印机缺纸，请放入纸张。"),
                        QMessageBox::NoButton, &window);
        const QAbstractButton* ok = box.addButton(QString::fromUtf8("确  定"), QMessageBox::AcceptRole);
        box.addButton(QString::fromUtf8("取  消"), QMessageBox::RejectRole);
        box.exec();
        result->setText(QString::fromUtf8(box.clickedButton() == ok ? "结果：确定" : "结果：取消"));
    });

    QSystemTrayIcon tray(DrawnIcon());
    tray.setToolTip(QString::fromUtf8("探针托盘"));
    QMenu menu;
    QObject::connect(menu.addAction(QString::fromUtf8("显示窗口")), &QAction::triggered, &window, [&window] {
        window.show();
        window.raise();
    });
    QObject::connect(menu.addAction(QString::fromUtf8("显示气泡")), &QAction::triggered, &tray, [&tray] {
        tray.showMessage(QString::fromUtf8("缺纸"), QString::fromUtf8("请在纸盒中放入纸张"), QSystemTrayIcon::Warning,
                         c_iBalloonTimeoutMs);
    });
    tray.setContextMenu(&menu);
    QObject::connect(&tray, &QSystemTrayIcon::activated, heading, [heading](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            heading->setText(QString::fromUtf8("托盘图标已点击"));
    });
    tray.show();
    window.show();
    return app.exec();
}
