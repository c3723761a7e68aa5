#include "AppSettings.h"
#include "CellDelegate.h"
#include "DisplayMenu.h"
#include "EndFollower.h"
#include "PaintRecorder.h"
#include "PanelTableView.h"
#include "RowNumberHeader.h"
#include "ScreenPixels.h"
#include "TrackLimitSortProxyModel.h"

#include <QApplication>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {

// Cells of every kind a timing table shows, in a model both views share.
void fillCells(QStandardItemModel& model)
{
    model.setColumnCount(4);
    const auto add = [&model](const QList<QStandardItem*>& row) { model.appendRow(row); };
    auto* right = new QStandardItem(QStringLiteral("1:45.678"));
    right->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* centre = new QStandardItem(QStringLiteral("P12"));
    centre->setTextAlignment(Qt::AlignCenter);
    auto* bold = new QStandardItem(QStringLiteral("S2 32.101"));
    QFont font = QApplication::font();
    font.setBold(true);
    bold->setFont(font);
    bold->setBackground(QColor(0x9c, 0x27, 0xb0));
    bold->setForeground(Qt::white);
    add({new QStandardItem(QStringLiteral("Anna Lindqvist")), right, centre, bold});
    auto* ground = new QStandardItem(QStringLiteral("+1 lap"));
    ground->setBackground(QColor(0xff, 0xeb, 0x3b));
    ground->setForeground(Qt::black);
    auto* icon = new QStandardItem(QStringLiteral("7"));
    QPixmap pit(12, 12);
    pit.fill(Qt::red);
    icon->setIcon(QIcon(pit));
    add({new QStandardItem(QStringLiteral("A name far too long for its narrow column")), ground, icon, new QStandardItem()});
    for (int i = 0; i < 6; ++i)
        add({new QStandardItem(QStringLiteral("Car %1").arg(i)), new QStandardItem(QString::number(i * 1.5, 'f', 3)), new QStandardItem, new QStandardItem});
}

QImage render(QTableView& view, qreal scale = 1)
{
    // No focus: the current cell would be drawn by the style in both.
    view.setFocusPolicy(Qt::NoFocus);
    view.setWordWrap(false);
    view.resize(420, 260);
    view.setColumnWidth(0, 90);
    view.show();
    QCoreApplication::processEvents();
    if (scale == 1)
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage image(view.viewport()->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::magenta);
    view.viewport()->render(&image);
    return image;
}

} // namespace

class TestTableViews final : public QObject
{
    Q_OBJECT

private slots:
    void cellsDrawnAsTheStyleDrawsThem_data();
    void cellsDrawnAsTheStyleDrawsThem();
    void keptTextsAreBounded();
    void changedRowsAloneRepaint();
    void addedRowsRepaintFromThereDown_data();
    void addedRowsRepaintFromThereDown();
    void rowNumbersAsWideAsTheToolkits_data();
    void rowNumbersAsWideAsTheToolkits();
    void followsTheEnd_data();
    void followsTheEnd();
};

void TestTableViews::cellsDrawnAsTheStyleDrawsThem_data()
{
    // hidden: a row, a column and the last row; headers: both shown, the
    // vertical one hidden, both hidden; scale: the device pixel ratio.
    QTest::addColumn<QString>("skin");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("headers");
    QTest::addColumn<double>("scale");
    QTest::newRow("no skin") << QString() << false << 2 << 1.0;
    QTest::newRow("dark") << AppSettings::kDarkSkin << false << 2 << 1.0;
    QTest::newRow("light") << AppSettings::kLightSkin << false << 2 << 1.0;
    QTest::newRow("high contrast") << AppSettings::kHighContrastSkin << false << 2 << 1.0;
    QTest::newRow("dark, rows and a column hidden") << AppSettings::kDarkSkin << true << 2 << 1.0;
    QTest::newRow("dark, no row numbers") << AppSettings::kDarkSkin << false << 1 << 1.0;
    QTest::newRow("dark, no headers") << AppSettings::kDarkSkin << false << 0 << 1.0;
    QTest::newRow("dark, twice the pixels") << AppSettings::kDarkSkin << false << 2 << 2.0;
    QTest::newRow("dark, one and a half") << AppSettings::kDarkSkin << false << 1 << 1.5;
}

// The straight path must look like the style's: same ground, same place of
// each text, the same elision, the same grid; the icon cell is the style's own.
void TestTableViews::cellsDrawnAsTheStyleDrawsThem()
{
    QFETCH(QString, skin);
    QFETCH(bool, hidden);
    QFETCH(int, headers);
    QFETCH(double, scale);
    qApp->setStyleSheet(skin.isEmpty() ? QString() : DisplayMenu::styleSheet(skin));
    QStandardItemModel model;
    fillCells(model);
    QTableView styled;
    styled.setModel(&model);
    PanelTableView straight;
    straight.setModel(&model);
    for (QTableView* view : {static_cast<QTableView*>(&styled), static_cast<QTableView*>(&straight)}) {
        if (hidden) {
            view->setRowHidden(1, true);
            view->setRowHidden(model.rowCount() - 1, true);
            view->setColumnHidden(2, true);
        }
        view->verticalHeader()->setVisible(headers >= 2);
        view->horizontalHeader()->setVisible(headers >= 1);
    }
    const auto* delegate = qobject_cast<const CellDelegate*>(straight.itemDelegate());
    QVERIFY(delegate);
    const QImage expected = render(styled, scale);
    const QImage drawn = render(straight, scale);
    qApp->setStyleSheet(QString());
    // The straight path drew the texts, not the style.
    QVERIFY(delegate->keptTexts() >= 10);
    QCOMPARE(drawn, expected);
}

void TestTableViews::keptTextsAreBounded()
{
    QStandardItemModel model(1, 1);
    QTableView view;
    view.setModel(&model);
    auto* delegate = new CellDelegate(&view);
    view.setItemDelegate(delegate);
    view.setFocusPolicy(Qt::NoFocus);
    view.setWordWrap(false);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // A gap that changes every second, for hours.
    for (int i = 0; i < 5000; ++i) {
        model.setData(model.index(0, 0), QString::number(i));
        view.viewport()->grab();
    }
    QVERIFY(delegate->keptTexts() > 0);
    QVERIFY(delegate->keptTexts() <= 2 * 1024);
}

// A model's range of changed rows repaints those rows, not the whole view
// nor the panel beneath it.
void TestTableViews::changedRowsAloneRepaint()
{
    qApp->setStyleSheet(DisplayMenu::styleSheet(AppSettings::kDarkSkin));
    QStandardItemModel model(40, 4);
    QWidget panel;
    auto* view = new PanelTableView(&panel);
    view->setModel(&model);
    view->resize(400, 300);
    panel.resize(400, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    PaintRecorder recorder, beneath;
    view->viewport()->installEventFilter(&recorder);
    panel.installEventFilter(&beneath);
    QTest::qWait(20);
    recorder.clear();
    beneath.clear();
    emit model.dataChanged(model.index(2, 0), model.index(3, 3));
    QTRY_VERIFY(!recorder.painted().isEmpty());
    const QRect rows = recorder.painted().boundingRect();
    QCOMPARE(rows.top(), view->rowViewportPosition(2));
    QCOMPARE(rows.height(), 2 * view->rowHeight(2));
    QCOMPARE(rows.width(), view->viewport()->width());
    // The skin's sheet leaves the inside transparent: the panel beneath was painted too.
    const QRegion painted = beneath.painted();
    qApp->setStyleSheet(QString());
    QCOMPARE(painted, QRegion());
}

void TestTableViews::addedRowsRepaintFromThereDown_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("scrolledTo"); // -1: the end
    QTest::addColumn<bool>("perPixel");
    // The painted region's top, in rows; -1: at most two rows' strip; -2: not checked.
    QTest::addColumn<int>("paintedFrom");
    QTest::newRow("added in sight") << 3 << 3 << 0 << false << 3;
    QTest::newRow("inserted in sight") << 3 << 1 << 0 << false << 1;
    QTest::newRow("added at the end, followed") << 40 << 40 << -1 << false << -1;
    QTest::newRow("added at the end, followed, per pixel") << 40 << 40 << -1 << true << -1;
    QTest::newRow("inserted near the end, followed") << 40 << 36 << -1 << false << -2;
    QTest::newRow("inserted above the top") << 40 << 2 << 20 << false << 0;
    QTest::newRow("added while older rows are read") << 40 << 40 << 5 << false << -2;
}

// A row added repaints itself and the rows it moved down; a view that
// follows its end scrolls the rest, painting only the new row's strip. What
// is on the screen is what a fresh paint gives.
void TestTableViews::addedRowsRepaintFromThereDown()
{
    QFETCH(int, rows);
    QFETCH(int, at);
    QFETCH(int, scrolledTo);
    QFETCH(bool, perPixel);
    QFETCH(int, paintedFrom);
    QStandardItemModel model(rows, 4);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 4; ++c)
            model.setData(model.index(r, c), QStringLiteral("r%1c%2").arg(r).arg(c));
    PanelTableView view;
    view.setModel(&model);
    view.setVerticalScrollMode(perPixel ? QAbstractItemView::ScrollPerPixel : QAbstractItemView::ScrollPerItem);
    new EndFollower(&view);
    view.setFocusPolicy(Qt::NoFocus);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Eight rows and a half inside: at the end the top row is cut.
    const int row = view.rowHeight(0);
    view.resize(400, view.height() - view.viewport()->height() + 8 * row + row / 2);
    QTest::qWait(20);
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(scrolledTo < 0 ? bar->maximum() : scrolledTo);
    PaintRecorder recorder;
    view.viewport()->installEventFilter(&recorder);
    QTest::qWait(20);
    recorder.clear();
    model.insertRow(at, {new QStandardItem(QStringLiteral("new")), new QStandardItem, new QStandardItem, new QStandardItem});
    QTest::qWait(50);
    const QRect painted = recorder.painted().boundingRect();

    QWidget* inside = view.viewport();
    QCOMPARE(ScreenPixels::shown(inside), ScreenPixels::fresh(inside));
    if (scrolledTo < 0)
        QCOMPARE(view.rowAt(inside->height() - 1), rows);
    if (paintedFrom >= 0)
        QCOMPARE(painted, QRect(0, paintedFrom * row, inside->width(), inside->height() - paintedFrom * row));
    else if (paintedFrom == -1)
        QVERIFY2(painted.height() <= 2 * row, qPrintable(QStringLiteral("painted %1 px of %2").arg(painted.height()).arg(inside->height())));
}

void TestTableViews::rowNumbersAsWideAsTheToolkits_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("hiddenAtEnd");
    QTest::addColumn<bool>("sorted");
    QTest::newRow("9 rows") << 9 << 0 << false;
    QTest::newRow("10 rows") << 10 << 0 << false;
    QTest::newRow("1000 rows") << 1000 << 0 << false;
    QTest::newRow("1000 rows, the last hidden") << 1000 << 1 << false;
    QTest::newRow("2500 rows") << 2500 << 0 << false;
    // A sorted track-limits table: the records came in another order.
    QTest::newRow("12 rows, the track limits sorted") << 12 << 0 << true;
}

// Measuring two numbers, the header is as wide as the toolkit's, which
// measures two hundred.
void TestTableViews::rowNumbersAsWideAsTheToolkits()
{
    QFETCH(int, rows);
    QFETCH(int, hiddenAtEnd);
    QFETCH(bool, sorted);
    QStandardItemModel model(rows, 1);
    // Sorted, rows 10 to 12 come between 8 and 9: the widest numbers in the middle.
    for (int r = 0; r < rows; ++r)
        model.setData(model.index(r, 0), r == 8 ? QStringLiteral("z") : r >= 9 ? QStringLiteral("m") : QString(QChar('a' + r)));
    TrackLimitSortProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.sort(0);
    QAbstractItemModel* shown = sorted ? static_cast<QAbstractItemModel*>(&proxy) : &model;
    RowNumberHeader ours;
    QHeaderView toolkits(Qt::Vertical);
    for (QHeaderView* header : {static_cast<QHeaderView*>(&ours), &toolkits}) {
        header->setModel(shown);
        for (int i = 0; i < hiddenAtEnd; ++i)
            header->hideSection(rows - 1 - i);
    }
    QCOMPARE(ours.sizeHint().width(), toolkits.sizeHint().width());
    QVERIFY(ours.sizeHint().width() > 0);
}

void TestTableViews::followsTheEnd_data()
{
    QTest::addColumn<bool>("onOtherTab");
    QTest::addColumn<bool>("readingOlder");
    QTest::addColumn<bool>("panelView");
    QTest::newRow("shown, at its end") << false << false << false;
    QTest::newRow("on another tab") << true << false << false;
    QTest::newRow("reading older rows") << false << true << false;
    QTest::newRow("shown, at its end, a panel's view") << false << false << true;
    QTest::newRow("on another tab, a panel's view") << true << false << true;
}

void TestTableViews::followsTheEnd()
{
    QFETCH(bool, onOtherTab);
    QFETCH(bool, readingOlder);
    QFETCH(bool, panelView);
    QStandardItemModel model(40, 1);
    QTabWidget tabs;
    QTableView* view = panelView ? new PanelTableView : new QTableView;
    view->setModel(&model);
    new EndFollower(view);
    tabs.addTab(new QWidget, QStringLiteral("other"));
    tabs.addTab(view, QStringLiteral("laps"));
    tabs.setCurrentIndex(1);
    tabs.resize(300, 200);
    tabs.show();
    QScrollBar* bar = view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(readingOlder ? 3 : bar->maximum());
    if (onOtherTab)
        tabs.setCurrentIndex(0);
    QSignalSpy moved(bar, &QScrollBar::valueChanged);
    // A burst of rows, as a lap completes for several cars at once.
    for (int i = 0; i < 20; ++i)
        model.appendRow(new QStandardItem(QString::number(i)));
    QTest::qWait(20);
    if (onOtherTab) {
        // Out of sight it is not laid out nor scrolled; shown, it is at its end.
        QCOMPARE(moved.count(), 0);
        tabs.setCurrentIndex(1);
    }
    if (readingOlder) {
        QCOMPARE(bar->value(), 3);
        return;
    }
    QTRY_COMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() >= 20);
    // Once for the burst, not once a row.
    QVERIFY(moved.count() <= 2);
}

QTEST_MAIN(TestTableViews)
#include "tst_tableviews.moc"
