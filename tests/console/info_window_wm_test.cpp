// The connection information window under a real window manager (started by run_under_wm.sh):
// a close box only, and it stays above the main window while shown.

#include <QProcess>
#include <QScreen>
#include <QtTest>

#include "console/Unit1.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
QString Xprop(const QStringList& arguments) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), arguments);
    if (!xprop.waitForFinished(5000)) return {};
    return QString::fromLocal8Bit(xprop.readAllStandardOutput());
}

// The actions the window manager allows on a window, such as "_NET_WM_ACTION_CLOSE".
QStringList AllowedActions(const QWidget* window) {
    const QString out = Xprop({QStringLiteral("-id"), QString::number(window->winId()),
                               QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
    const int equals = out.indexOf(QLatin1Char('='));
    if (equals < 0) return {};
    QStringList actions = out.mid(equals + 1).split(QLatin1Char(','));
    for (QString& action : actions) action = action.trimmed();
    return actions;
}

// The managed windows from the bottom of the stack to its top.
QList<quint64> Stacking() {
    const QString out =
        Xprop({QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<quint64> ids;
    const int hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0) return ids;
    for (const QString& part : out.mid(hash + 1).split(QLatin1Char(',')))
        ids.append(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}

bool Above(const QWidget* upper, const QWidget* lower) {
    const QList<quint64> ids = Stacking();
    const qsizetype up = ids.indexOf(upper->winId());
    const qsizetype low = ids.indexOf(lower->winId());
    return up >= 0 && low >= 0 && up > low;
}
}  // namespace

class InfoWindowWmTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramDir> dir_;

  private slots:
    void init() {
        dir_ = std::make_unique<TProgramDir>();
        StartWindows();
        Form1->N3->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(Form2));
        // The window manager sets the allowed actions once it manages the window.
        QTRY_VERIFY_WITH_TIMEOUT(!AllowedActions(Form2).isEmpty(), 5000);
    }
    void cleanup() {
        DestroyWindows();
        dir_.reset();
    }

    void offersACloseBoxOnly_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("close") << "_NET_WM_ACTION_CLOSE" << true;
        QTest::newRow("move") << "_NET_WM_ACTION_MOVE" << true;
        QTest::newRow("minimise") << "_NET_WM_ACTION_MINIMIZE" << false;
        QTest::newRow("maximise across") << "_NET_WM_ACTION_MAXIMIZE_HORZ" << false;
        QTest::newRow("maximise down") << "_NET_WM_ACTION_MAXIMIZE_VERT" << false;
    }
    void offersACloseBoxOnly() {
        QFETCH(QString, action);
        QFETCH(bool, allowed);
        const QStringList actions = AllowedActions(Form2);
        QVERIFY2(actions.contains(action) == allowed, qPrintable(actions.join(QLatin1Char(' '))));
    }

    void staysAboveTheMainWindowWhenTheMainWindowIsActivated() {
        QTRY_VERIFY_WITH_TIMEOUT(Above(Form2, Form1), 5000);
        // What a click on the main window does: the manager raises and activates it.
        Form1->raise();
        Form1->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(Form1->isActiveWindow(), 5000);
        QTest::qWait(300);
        QVERIFY(Above(Form2, Form1));
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
            QStringLiteral(TANDREL_SCREENS_DIR "/information-window-manager.png")));
        // Closed, it is hidden and comes back on top.
        Form2->close();
        QTRY_VERIFY(!Form2->isVisible());
        Form1->N3->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(Form2));
        QTRY_VERIFY_WITH_TIMEOUT(Above(Form2, Form1), 5000);
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    InfoWindowWmTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "info_window_wm_test.moc"
