#include "ToolWindow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A panel as panels are: a group name and a default place (from its registry row).
class Panel final : public ToolWindow
{
public:
    explicit Panel(bool floating)
        : ToolWindow(nullptr, floating)
    {
        setPlace(QStringLiteral("view_test"), QRect(10, 20, 300, 200), false);
        setWindowTitle(QStringLiteral("Test panel"));
    }
};

void mouse(QObject* target, QWidget* widget, QEvent::Type type, const QPoint& local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class TestToolWindow final : public QObject
{
    Q_OBJECT

private slots:
    void edges_data();
    void edges();
    void titleBarDragKeepsOffset();
    void resizeByRightEdge();
    void maximiseTwiceRestores();
    void stateSignals();
    void geometryUnderGroup();
    void border();
    void embedded();
    void fontSizes_data();
    void fontSizes();
};

void TestToolWindow::edges_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("cursor");
    QTest::newRow("bottom-right") << QPoint(295, 195) << int(ToolWindow::BottomRightEdge) << int(Qt::SizeFDiagCursor);
    QTest::newRow("left") << QPoint(3, 100) << int(ToolWindow::LeftEdge) << int(Qt::SizeHorCursor);
    QTest::newRow("middle") << QPoint(150, 100) << int(ToolWindow::NoEdge) << int(Qt::ArrowCursor);
    QTest::newRow("bottom-left") << QPoint(6, 194) << int(ToolWindow::BottomLeftEdge) << int(Qt::SizeBDiagCursor);
    QTest::newRow("right") << QPoint(294, 40) << int(ToolWindow::RightEdge) << int(Qt::SizeHorCursor);
    QTest::newRow("bottom") << QPoint(150, 199) << int(ToolWindow::BottomEdge) << int(Qt::SizeVerCursor);
    QTest::newRow("no top edge") << QPoint(150, 0) << int(ToolWindow::NoEdge) << int(Qt::ArrowCursor);
}

void TestToolWindow::edges()
{
    QFETCH(QPoint, point);
    QFETCH(int, edge);
    QFETCH(int, cursor);
    QCOMPARE(int(ToolWindow::edgeAt(point, QSize(300, 200), 6)), edge);
    Panel panel(true);
    panel.resize(300, 200);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    mouse(&panel, &panel, QEvent::MouseMove, point, Qt::NoButton, Qt::NoButton);
    QCOMPARE(panel.resizeEdge(), edge);
    QCOMPARE(int(panel.cursor().shape()), cursor);
}

void TestToolWindow::titleBarDragKeepsOffset()
{
    Panel panel(true);
    panel.setGeometry(100, 100, 300, 200);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* bar = panel.findChild<QWidget*>(QStringLiteral("titleBar"));
    QVERIFY(bar);
    const QPoint grip(60, 15);
    const QPoint before = panel.frameGeometry().topLeft();
    mouse(bar, bar, QEvent::MouseMove, grip, Qt::NoButton, Qt::NoButton);
    mouse(bar, bar, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    QMouseEvent drag(QEvent::MouseMove, grip + QPoint(40, 25), bar->mapToGlobal(grip) + QPoint(40, 25), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &drag);
    QCOMPARE(panel.frameGeometry().topLeft(), before + QPoint(40, 25));
    // Pressing in the window's top part outside the bar does not move it.
    const QPoint inside(150, 60);
    const QPoint placed = panel.pos();
    mouse(&panel, &panel, QEvent::MouseMove, inside, Qt::NoButton, Qt::NoButton);
    mouse(&panel, &panel, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    QMouseEvent stray(QEvent::MouseMove, inside + QPoint(30, 30), panel.mapToGlobal(inside) + QPoint(30, 30), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &stray);
    QCOMPARE(panel.pos(), placed);
}

void TestToolWindow::resizeByRightEdge()
{
    Panel panel(true);
    panel.setGeometry(100, 100, 300, 200);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QPoint edge(297, 100);
    mouse(&panel, &panel, QEvent::MouseMove, edge, Qt::NoButton, Qt::NoButton);
    QCOMPARE(panel.resizeEdge(), int(ToolWindow::RightEdge));
    QMouseEvent drag(QEvent::MouseMove, edge + QPoint(50, 0), panel.mapToGlobal(edge) + QPoint(50, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &drag);
    QCOMPARE(panel.geometry().right(), panel.mapToGlobal(edge).x() + 50 - 0);
    QCOMPARE(panel.height(), 200);
}

void TestToolWindow::maximiseTwiceRestores()
{
    Panel panel(true);
    panel.setGeometry(100, 100, 300, 200);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QRect before = panel.geometry();
    auto* maximise = panel.findChild<QPushButton*>(QStringLiteral("btnMaximize"));
    QVERIFY(maximise);
    QCOMPARE(maximise->text(), QString(QChar(0x2750)));
    maximise->click();
    QTRY_VERIFY(panel.isMaximized());
    maximise->click();
    QTRY_VERIFY(!panel.isMaximized());
    QTRY_COMPARE(panel.geometry(), before);
}

void TestToolWindow::stateSignals()
{
    Panel panel(true);
    QSignalSpy state(&panel, &ToolWindow::state);
    panel.setVisible(true);
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.at(0).at(0).toBool(), true);
    panel.findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
    // The close event says so, and so does the hiding that follows it.
    QTRY_VERIFY(state.count() >= 2);
    for (int i = 1; i < state.count(); ++i)
        QCOMPARE(state.at(i).at(0).toBool(), false);
    QVERIFY(!panel.isVisible());
    // The title follows the window title.
    panel.setWindowTitle(QStringLiteral("Flags"));
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("titleBarLabel"))->text(), QStringLiteral("Flags"));
}

void TestToolWindow::geometryUnderGroup()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("layout.ini")), QSettings::IniFormat);
    {
        Panel panel(true);
        panel.setGeometry(120, 130, 320, 240);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        settings.beginGroup(QStringLiteral("layout_default"));
        panel.saveWidgetGeometry(settings);
        settings.endGroup();
    }
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("layout_default/view_test/w")).toInt(), 320);
    QCOMPARE(settings.value(QStringLiteral("layout_default/view_test/h")).toInt(), 240);
    QCOMPARE(settings.value(QStringLiteral("layout_default/view_test/show")).toBool(), true);
    QVERIFY(settings.contains(QStringLiteral("layout_default/view_test/x")));

    Panel restored(true);
    QSignalSpy state(&restored, &ToolWindow::state);
    settings.beginGroup(QStringLiteral("layout_default"));
    restored.loadWidgetGeometry(settings);
    settings.endGroup();
    QCOMPARE(restored.size(), QSize(320, 240));
    QVERIFY(restored.isVisible());
    QCOMPARE(state.count(), 1);
}

void TestToolWindow::border()
{
    Panel panel(true);
    panel.resize(120, 80);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* bar = panel.findChild<QWidget*>(QStringLiteral("titleBar"));
    QCOMPARE(bar->styleSheet(), QStringLiteral("background-color: rgba(0, 0, 0, 0.4);"));
    const QColor gray(Qt::gray);
    QCOMPARE(panel.grab().toImage().pixelColor(0, 40), gray);
    panel.setShowBorder(false);
    QCOMPARE(bar->styleSheet(), QStringLiteral("background: transparent;"));
    QCOMPARE(panel.findChild<QWidget*>(QStringLiteral("btnClose"))->styleSheet(), QStringLiteral("background: transparent;"));
    QVERIFY(panel.grab().toImage().pixelColor(0, 40) != gray);
}

void TestToolWindow::embedded()
{
    Panel panel(false);
    panel.resize(300, 200);
    QVERIFY(!panel.findChild<QWidget*>(QStringLiteral("titleBar")));
    QVERIFY(!(panel.windowFlags() & Qt::FramelessWindowHint));
    QCOMPARE(panel.contentWidget(), &panel);
    QVERIFY(panel.contentWidget()->layout());
    mouse(&panel, &panel, QEvent::MouseMove, QPoint(295, 195), Qt::NoButton, Qt::NoButton);
    QCOMPARE(panel.resizeEdge(), int(ToolWindow::NoEdge));
    QCOMPARE(panel.font().pointSize(), ToolWindow::panelFont().pointSize());
}

void TestToolWindow::fontSizes_data()
{
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<int>("points");
    QTest::newRow("96") << qreal(96) << 8;
    QTest::newRow("97") << qreal(97) << 7;
    QTest::newRow("120") << qreal(120) << 7;
    QTest::newRow("121") << qreal(121) << 6;
}

void TestToolWindow::fontSizes()
{
    QFETCH(qreal, dpi);
    QFETCH(int, points);
    QCOMPARE(ToolWindow::panelFontPointSize(dpi), points);
}

QTEST_MAIN(TestToolWindow)
#include "tst_toolwindow.moc"
