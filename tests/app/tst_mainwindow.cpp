// The window as built: the form's tree, texts and settings, the slot table,
// the status-bar stamp, message boxes, the job lock and the teardown.
#include "guitest.h"

#include "buildstamp.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTextEdit>

#include <memory>

namespace {

QString textOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->toPlainText();
    return QString();
}

// The entries of a layout, by object name ("spacer WxH" for spacers).
QStringList layoutEntries(QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget())
            names << item->widget()->objectName();
        else if (item->layout())
            names << item->layout()->objectName();
        else if (QSpacerItem *s = item->spacerItem())
            names << QStringLiteral("spacer %1x%2").arg(s->sizeHint().width()).arg(s->sizeHint().height());
    }
    return names;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void title();
    void widgets_data();
    void widgets();
    void layouts_data();
    void layouts();
    void creationOrder();
    void sizesAndPolicies();
    void addressFieldsTakeDigitsOnly();
    void startState();
    void warningIcon();
    void slotTable();
    void slotsConnectedByName();
    void versionLabel();
    void keepsGivenObjectName();

    void showMsgBoxKind_data();
    void showMsgBoxKind();
    void workerMessagesReachTheUser();

    void jobLocksCameraControls();
    void closeWhileIdle();
    void closeDuringJobAsks_data();
    void closeDuringJobAsks();
    void teardownStopsWorker();

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DebugCapture> constructionLog;
    template <class T = QWidget>
    T *child(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
};

void MainWindowTest::init()
{
    DeviceLink::instance().devices().clear();
    constructionLog = std::make_unique<DebugCapture>();
    window = std::make_unique<MainWindow>();
}

void MainWindowTest::cleanup()
{
    window.reset();
    constructionLog.reset();
}

void MainWindowTest::title()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvanta"));
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->size(), QSize(474, 440));
}

void MainWindowTest::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("text");

    const QString c = QStringLiteral("centralwidget");
    const QString ipg = QStringLiteral("gbIPConfig");
    const QString pg = QStringLiteral("groupBox_3");
    auto row = [](const char *name, const char *cls, const QString &parent, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << parent
                            << QString::fromUtf8(text);
    };
    row("centralwidget", "QWidget", QStringLiteral("MainWindow"), "");
    row("btnRefresh", "QPushButton", c, "Refresh");
    row("cbDevice", "QComboBox", c, "");
    row("label_14", "QLabel", c, "NIC");
    row("lblHostIP", "QLabel", c, "...");
    row("teCamInfo", "QTextEdit", c, "");
    row("gbIPConfig", "QGroupBox", c, "IP Configuration");
    row("lblWarn", "QLabel", ipg, "");
    row("label_13", "QLabel", ipg, "IP");
    row("leIP", "QLineEdit", ipg, "192.168.2.14");
    row("label_15", "QLabel", ipg, "Mask");
    row("leMask", "QLineEdit", ipg, "255.255.255.0");
    row("label_16", "QLabel", ipg, "Gateway");
    row("leGateway", "QLineEdit", ipg, "192.168.2.1");
    row("rbIPConfigStatic", "QRadioButton", ipg, "Static");
    row("btnRandomIP", "QPushButton", ipg, "random ip");
    row("rbIPConfigDHCP", "QRadioButton", ipg, "DHCP");
    row("rbIPConfigLLA", "QRadioButton", ipg, "LLA");
    row("btnIPConfig", "QPushButton", ipg, "IP Config");
    row("btnForceIp", "QPushButton", ipg, "Force IP");
    row("groupBox_3", "QGroupBox", c, "Programming");
    row("label_11", "QLabel", pg, "Param Hex");
    row("leParamHexFile", "QLineEdit", pg, "");
    row("btnBrowse", "QPushButton", pg, "Browse...");
    row("btnWriteSPI", "QPushButton", pg, "Write");
    row("label_12", "QLabel", pg, "FPGA Bit");
    row("leBitstreamFile", "QLineEdit", pg, "");
    row("btnBrowseBit", "QPushButton", pg, "Browse...");
    row("btnProgramBit", "QPushButton", pg, "Program");
    row("lblProgramProgress", "QLabel", pg, "0/100");
    row("progressBar", "QProgressBar", pg, "");
    row("menubar", "QMenuBar", QStringLiteral("MainWindow"), "");
    row("statusbar", "QStatusBar", QStringLiteral("MainWindow"), "");
}

void MainWindowTest::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, text);

    const QList<QWidget *> found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
    QVERIFY(w->parentWidget());
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    QCOMPARE(textOf(w), text);
    // Nothing is disabled, read-only, styled or explained at start.
    QVERIFY(w->isEnabled());
    QVERIFY(w->toolTip().isEmpty());
    QVERIFY(w->styleSheet().isEmpty());
    if (auto *e = qobject_cast<QLineEdit *>(w))
        QVERIFY(!e->isReadOnly());
    if (auto *t = qobject_cast<QTextEdit *>(w))
        QVERIFY(!t->isReadOnly());
}

void MainWindowTest::layouts_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("verticalLayout_4") << "verticalLayout_4" << "QVBoxLayout"
        << QStringList{"verticalLayout", "gbIPConfig", "groupBox_3", "spacer 20x40"};
    QTest::newRow("verticalLayout") << "verticalLayout" << "QVBoxLayout"
        << QStringList{"horizontalLayout_11", "teCamInfo"};
    QTest::newRow("horizontalLayout_11") << "horizontalLayout_11" << "QHBoxLayout"
        << QStringList{"btnRefresh", "spacer 40x20", "cbDevice", "label_14", "lblHostIP"};
    QTest::newRow("verticalLayout_2") << "verticalLayout_2" << "QVBoxLayout"
        << QStringList{"horizontalLayout_5", "horizontalLayout_7"};
    QTest::newRow("horizontalLayout_5") << "horizontalLayout_5" << "QHBoxLayout"
        << QStringList{"lblWarn", "label_13", "leIP", "label_15", "leMask", "label_16", "leGateway"};
    QTest::newRow("horizontalLayout_7") << "horizontalLayout_7" << "QHBoxLayout"
        << QStringList{"rbIPConfigStatic", "btnRandomIP", "rbIPConfigDHCP", "rbIPConfigLLA",
                       "btnIPConfig", "btnForceIp"};
    QTest::newRow("verticalLayout_3") << "verticalLayout_3" << "QVBoxLayout"
        << QStringList{"horizontalLayout_4", "horizontalLayout_6", "horizontalLayout_12"};
    QTest::newRow("horizontalLayout_4") << "horizontalLayout_4" << "QHBoxLayout"
        << QStringList{"label_11", "leParamHexFile", "btnBrowse", "btnWriteSPI"};
    QTest::newRow("horizontalLayout_6") << "horizontalLayout_6" << "QHBoxLayout"
        << QStringList{"label_12", "leBitstreamFile", "btnBrowseBit", "btnProgramBit"};
    QTest::newRow("horizontalLayout_12") << "horizontalLayout_12" << "QHBoxLayout"
        << QStringList{"lblProgramProgress", "progressBar"};
}

void MainWindowTest::layouts()
{
    QFETCH(QString, layout);
    QFETCH(QString, className);
    QFETCH(QStringList, entries);
    auto *l = window->findChild<QLayout *>(layout);
    QVERIFY(l);
    QCOMPARE(QString::fromLatin1(l->metaObject()->className()), className);
    QCOMPARE(layoutEntries(l), entries);
    QCOMPARE(l->sizeConstraint(), QLayout::SetDefaultConstraint);
}

void MainWindowTest::creationOrder()
{
    auto widgetChildren = [](QObject *parent) {
        QStringList names;
        for (QObject *o : parent->children())
            if (o->isWidgetType())
                names << o->objectName();
        return names;
    };
    QCOMPARE(widgetChildren(child("centralwidget")),
             (QStringList{"btnRefresh", "cbDevice", "label_14", "lblHostIP", "teCamInfo",
                          "gbIPConfig", "groupBox_3"}));
    QCOMPARE(widgetChildren(child("gbIPConfig")),
             (QStringList{"lblWarn", "label_13", "leIP", "label_15", "leMask", "label_16",
                          "leGateway", "rbIPConfigStatic", "btnRandomIP", "rbIPConfigDHCP",
                          "rbIPConfigLLA", "btnIPConfig", "btnForceIp"}));
    QCOMPARE(widgetChildren(child("groupBox_3")),
             (QStringList{"label_11", "leParamHexFile", "btnBrowse", "btnWriteSPI", "label_12",
                          "leBitstreamFile", "btnBrowseBit", "btnProgramBit",
                          "lblProgramProgress", "progressBar"}));
    QCOMPARE(window->centralWidget(), child("centralwidget"));
    QCOMPARE(window->menuBar(), child<QMenuBar>("menubar"));
    QCOMPARE(window->statusBar(), child<QStatusBar>("statusbar"));
}

void MainWindowTest::sizesAndPolicies()
{
    auto *te = child<QTextEdit>("teCamInfo");
    QCOMPARE(te->minimumSize(), QSize(0, 125));
    QCOMPARE(te->maximumSize(), QSize(16777215, 125));

    auto *warn = child<QLabel>("lblWarn");
    QCOMPARE(warn->maximumSize(), QSize(20, 20));
    QVERIFY(warn->hasScaledContents());

    for (const char *name : {"leIP", "leMask", "leGateway"}) {
        auto *e = child<QLineEdit>(name);
        QCOMPARE(e->minimumSize(), QSize(100, 0));
        QCOMPARE(e->maximumSize(), QSize(100, 16777215));
        QCOMPARE(e->inputMask(), QStringLiteral("000.000.000.000"));
    }
    const QSizePolicy ipPolicy = child("leIP")->sizePolicy();
    QCOMPARE(ipPolicy.horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(ipPolicy.verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(ipPolicy.horizontalStretch(), 0);
    QCOMPARE(ipPolicy.verticalStretch(), 0);
    QCOMPARE(child("leMask")->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);

    QCOMPARE(child("lblProgramProgress")->minimumSize(), QSize(60, 0));
    auto *bar = child<QProgressBar>("progressBar");
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(child("menubar")->geometry(), QRect(0, 0, 474, 23));
    QVERIFY(child<QMenuBar>("menubar")->actions().isEmpty());
    QCOMPARE(child<QComboBox>("cbDevice")->count(), 0);
}

void MainWindowTest::addressFieldsTakeDigitsOnly()
{
    auto *ip = child<QLineEdit>("leIP");
    ip->selectAll();
    ip->del();
    QCOMPARE(ip->text(), QStringLiteral("..."));
    QTest::keyClicks(ip, QStringLiteral("1a9b2"));
    QCOMPARE(ip->text(), QStringLiteral("192..."));
    // The dots are fixed: typing one moves on to the next group.
    QTest::keyClicks(ip, QStringLiteral(".7.x0.1"));
    QCOMPARE(ip->text(), QStringLiteral("192.7.0.1"));
    // Whatever is typed, a group holds at most three digits.
    ip->setText(QStringLiteral("1234.5.6.7"));
    QVERIFY(ip->text().section(QLatin1Char('.'), 0, 0).size() <= 3);
}

void MainWindowTest::startState()
{
    QVERIFY(child<QRadioButton>("rbIPConfigDHCP")->isChecked());
    QVERIFY(!child<QRadioButton>("rbIPConfigStatic")->isChecked());
    QVERIFY(!child<QRadioButton>("rbIPConfigLLA")->isChecked());
    QVERIFY(!child("lblWarn")->isHidden());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(child("lblWarn")->isVisible());
    QVERIFY(!window->channel().hasDevice());
    // The three radio buttons exclude each other through their common parent.
    child<QRadioButton>("rbIPConfigLLA")->click();
    QVERIFY(!child<QRadioButton>("rbIPConfigDHCP")->isChecked());
    QVERIFY(!child<QRadioButton>("rbIPConfigStatic")->isChecked());
}

void MainWindowTest::warningIcon()
{
    const QImage icon(QStringLiteral(":/excl.png"));
    QCOMPARE(icon.size(), QSize(64, 64));
    QVERIFY(icon.hasAlphaChannel());
    // Transparent corners, an orange body, a white mark in the middle.
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    const QColor body = icon.pixelColor(20, 50);
    QVERIFY(body.red() > 200 && body.green() > 100 && body.green() < 180 && body.blue() < 60);
    QCOMPARE(icon.pixelColor(32, 30), QColor(Qt::white));
    const QPixmap shown = child<QLabel>("lblWarn")->pixmap(Qt::ReturnByValue);
    QCOMPARE(shown.size(), QSize(64, 64));
}

void MainWindowTest::slotTable()
{
    const QMetaObject *mo = window->metaObject();
    QStringList signatures;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        signatures << QString::fromLatin1(mo->method(i).methodSignature());
    const QStringList table{
        "updateStep(int,bool)", "updateStep(int)", "showMsg(QString,QString)",
        "on_btnRefresh_clicked()", "on_cbDevice_currentIndexChanged(int)", "on_btnWrite_clicked()",
        "on_btnForceIp_clicked()", "on_btnIPConfig_clicked()", "on_btnRandomIP_clicked()",
        "on_btnBrowse_clicked()", "on_btnWriteSPI_clicked()", "on_btnBrowseBit_clicked()",
        "on_btnProgramBit_clicked()", "on_btnClean_clicked()"};
    QCOMPARE(signatures.mid(0, table.size()), table);
    for (int i = 0; i < table.size(); ++i)
        QCOMPARE(mo->method(mo->methodOffset() + i).access(), QMetaMethod::Private);
}

void MainWindowTest::slotsConnectedByName()
{
    const QStringList log = constructionLog->lines();
    QVERIFY(log.contains(QStringLiteral(
        "QMetaObject::connectSlotsByName: No matching signal for on_btnWrite_clicked()")));
    QVERIFY(log.contains(QStringLiteral(
        "QMetaObject::connectSlotsByName: No matching signal for on_btnClean_clicked()")));
    int unmatched = 0;
    for (const QString &line : log)
        unmatched += line.contains(QLatin1String("No matching signal"));
    QCOMPARE(unmatched, 2);

    for (const char *name : {"btnRefresh", "btnForceIp", "btnIPConfig", "btnRandomIP", "btnBrowse",
                             "btnWriteSPI", "btnBrowseBit", "btnProgramBit"})
        QVERIFY2(SignalReceivers::count(child(name), SIGNAL(clicked())) >= 1, name);
    QVERIFY(SignalReceivers::count(child("cbDevice"), SIGNAL(currentIndexChanged(int))) >= 1);
}

void MainWindowTest::versionLabel()
{
    QStringList texts;
    for (QLabel *l : window->statusBar()->findChildren<QLabel *>())
        texts << l->text();
    QVERIFY(texts.contains(versionLabelText(buildStamp())));
    QVERIFY(versionLabelText(buildStamp()).startsWith(QLatin1String("Ver: ")));
}

void MainWindowTest::keepsGivenObjectName()
{
    // The form names only an unnamed window.
    QMainWindow named;
    named.setObjectName(QStringLiteral("Kept"));
    Ui::MainWindow form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("Kept"));
    QCOMPARE(named.windowTitle(), QStringLiteral("Orvanta"));
    QVERIFY(named.findChild<QLineEdit *>(QStringLiteral("leIP")));
}

void MainWindowTest::showMsgBoxKind_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::newRow("Error") << "Error" << int(QMessageBox::Critical);
    QTest::newRow("error lower case") << "error" << int(QMessageBox::Information);
    QTest::newRow("ERROR") << "ERROR" << int(QMessageBox::Information);
    QTest::newRow("Info") << "Info" << int(QMessageBox::Information);
    QTest::newRow("empty") << "" << int(QMessageBox::Information);
    QTest::newRow("Error with space") << "Error " << int(QMessageBox::Information);
}

void MainWindowTest::showMsgBoxKind()
{
    QFETCH(QString, title);
    QFETCH(int, icon);
    BoxAnswerer answerer;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "showMsg", Q_ARG(QString, title),
                                      Q_ARG(QString, QStringLiteral("Program done!"))));
    QCOMPARE(answerer.boxes.size(), 1);
    const BoxAnswerer::Box box = answerer.boxes.first();
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, QStringLiteral("Program done!"));
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.parent, static_cast<QWidget *>(window.get()));
}

void MainWindowTest::workerMessagesReachTheUser()
{
    // The worker's signals are queued to the GUI thread: emitted from another
    // thread, the message is shown by the window and the emitter never waits.
    SendThread *worker = MainWindowTestPeer::worker(*window);
    QVERIFY(worker && worker->isRunning());
    BoxAnswerer answerer;
    std::thread emitter([worker] { emit worker->msg(QStringLiteral("Error"), QStringLiteral("verify error")); });
    emitter.join();
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().text, QStringLiteral("verify error"));
    QCOMPARE(int(answerer.boxes.first().icon), int(QMessageBox::Critical));
}

void MainWindowTest::jobLocksCameraControls()
{
    const QStringList locked{"btnRefresh", "cbDevice", "btnWriteSPI", "btnProgramBit", "btnForceIp", "btnIPConfig"};
    const QStringList free{"btnBrowse", "btnBrowseBit", "btnRandomIP", "leIP", "leMask",
                           "leGateway", "leParamHexFile", "leBitstreamFile", "rbIPConfigStatic"};
    MainWindowTestPeer::setCameraControlsEnabled(*window, false);
    QVERIFY(window->jobRunning());
    for (const QString &n : locked)
        QVERIFY2(!child(qPrintable(n))->isEnabled(), qPrintable(n));
    for (const QString &n : free)
        QVERIFY2(child(qPrintable(n))->isEnabled(), qPrintable(n));
    MainWindowTestPeer::setCameraControlsEnabled(*window, true);
    QVERIFY(!window->jobRunning());
    for (const QString &n : locked)
        QVERIFY2(child(qPrintable(n))->isEnabled(), qPrintable(n));
}

void MainWindowTest::closeWhileIdle()
{
    window->show();
    BoxAnswerer answerer;
    QVERIFY(window->close());
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!MainWindowTestPeer::jobCancel(*window));
}

void MainWindowTest::closeDuringJobAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("No keeps the window") << int(QMessageBox::No) << false;
    QTest::newRow("Yes cancels and closes") << int(QMessageBox::Yes) << true;
}

void MainWindowTest::closeDuringJobAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    window->show();
    MainWindowTestPeer::setCameraControlsEnabled(*window, false);
    BoxAnswerer answerer{QMessageBox::StandardButton(answer)};
    QCOMPARE(window->close(), closes);
    QCOMPARE(answerer.boxes.size(), 1);
    const BoxAnswerer::Box box = answerer.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Info"));
    QCOMPARE(int(box.icon), int(QMessageBox::Question));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(box.text.contains(QLatin1String("programming job is running")));
    QCOMPARE(window->isVisible(), !closes);
    QCOMPARE(MainWindowTestPeer::jobCancel(*window), closes);
}

void MainWindowTest::teardownStopsWorker()
{
    QPointer<SendThread> worker = MainWindowTestPeer::worker(*window);
    QVERIFY(worker->isRunning());
    QStringList events;
    QMutex eventsLock;
    auto note = [&](const char *e) {
        QMutexLocker lock(&eventsLock);
        events << QString::fromLatin1(e);
    };
    connect(worker.data(), &QThread::finished, this, [&] { note("finished"); }, Qt::DirectConnection);
    connect(worker.data(), &QObject::destroyed, this, [&] { note("destroyed"); }, Qt::DirectConnection);
    DebugCapture log;
    QElapsedTimer timer;
    timer.start();
    window.reset();
    const qint64 ms = timer.elapsed();
    QVERIFY(worker.isNull());
    // The worker left its loop before the window let go of it.
    QCOMPARE(events, (QStringList{"finished", "destroyed"}));
    QVERIFY(log.lines().contains(QStringLiteral("thread end")));
    qInfo("teardown took %lld ms", ms);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
