#include "AppSettings.h"
#include "PaintRecorder.h"
#include "ParticipantsItem.h"
#include "PositioningController.h"
#include "PositioningGraphicsViewPromote.h"
#include "ProgramResources.h"
#include "Scene.h"
#include "ScreenPixels.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "ToolWindow.h"
#include "TrackGraphicsView.h"
#include "WidgetPositioning.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPainter>
#include <QSlider>
#include <QtTest>

namespace {

// Where the view paints green (a marker's fill), in pixels of the view.
QRect paintedGreen(WidgetPositioning& panel)
{
    const QImage image = panel.view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(0, 255, 0))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// A 20 x 20 picture: transparent, with a grey 10 x 10 square in the middle.
QString greySquarePng()
{
    QImage image(20, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(5, 5, 10, 10, QColor(200, 200, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

void putImage(V2_Data* images, const QString& path, int x, int y)
{
    V2_Data* node = images->getOrCreateDataPointer(path);
    node->insertData(QStringLiteral("data"), greySquarePng());
    node->insertData(QStringLiteral("x"), x);
    node->insertData(QStringLiteral("y"), y);
    node->insertData(QStringLiteral("width"), 20);
    node->insertData(QStringLiteral("height"), 20);
}

void putCar(V2_Data* participants, const QString& number, int overallPos, quint64 status, const QString& text, int x, int y,
            const QString& bgColor = QStringLiteral("00FF00"))
{
    V2_Data* node = participants->getOrCreateDataPointer(number);
    node->insertData(QStringLiteral("overallPos"), overallPos);
    node->insertData(QStringLiteral("status"), status);
    node->insertData(QStringLiteral("text"), text);
    node->insertData(QStringLiteral("x"), x);
    node->insertData(QStringLiteral("y"), y);
    node->insertData(QStringLiteral("bgColor"), bgColor);
}

QStringList numbers(const QList<ParticipantPosition>& drawn)
{
    QStringList list;
    for (const ParticipantPosition& participant : drawn)
        list << participant.number;
    return list;
}

QImage render(QGraphicsScene& scene)
{
    QImage image(Scene::kWidth, Scene::kHeight, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, Scene::kWidth, Scene::kHeight), QRectF(0, 0, Scene::kWidth, Scene::kHeight));
    return image;
}

void trackLoops(V2DataProvider& provider, const QStringList& names)
{
    V2_Data* loops = mirrorNode(provider, QStringLiteral("timing.session.track.info.timingLoops"));
    loops->clearData();
    for (int i = 0; i < names.size(); ++i)
        loops->getOrCreateDataPointer(QString::number(i))->insertData(QStringLiteral("name"), names.at(i));
}

} // namespace

class TestTrackPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void participantsFiledAndDrawn_data();
    void participantsFiledAndDrawn();
    void oneAnnouncementPerUpdate();
    void markerAtItsPosition();
    void tarmacTint_data();
    void tarmacTint();
    void picturesAndSections();
    void viewScale_data();
    void viewScale();
    void panelOptionsAndFilters();
    void previewSectors();
    void decorationsUnderTheMarker_data();
    void decorationsUnderTheMarker();
    void sharedPositionKeepsOwnColours();
    void markersLegibleOnSmallView();
    void markersFollowTextSize();
    void movedMarkersRepaintWhereTheyWere_data();
    void movedMarkersRepaintWhereTheyWere();
    void markerFollowsItsLook_data();
    void markerFollowsItsLook();
    void previewBarHeight_data();
    void previewBarHeight();
    void previewElidesInTheMiddle();

private:
    TestSettings m_config;
};

void TestTrackPanels::init()
{
    AppSettings::open()->clear();
}

void TestTrackPanels::participantsFiledAndDrawn_data()
{
    QTest::addColumn<quint64>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("showUnknown");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("filtered out") << quint64(0) << "5" << true << 3 << false;
    QTest::newRow("pinned, filtered out") << quint64(0x1) << "5" << false << 0 << true;
    QTest::newRow("unknown shown") << quint64(0) << "?" << true << 3 << true;
    QTest::newRow("unknown hidden") << quint64(0) << "?" << false << 3 << false;
    QTest::newRow("excluded though pinned") << quint64(0x4001) << "5" << true << 0 << false;
    QTest::newRow("hidden, on track") << quint64(0x101) << "5" << true << 0 << false;
    QTest::newRow("hidden, in the pit lane") << quint64(0x301) << "5" << true << 0 << true;
    QTest::newRow("no status: all bits") << ~quint64(0) << "5" << true << 0 << false;
}

void TestTrackPanels::participantsFiledAndDrawn()
{
    QFETCH(quint64, status);
    QFETCH(QString, text);
    QFETCH(bool, showUnknown);
    QFETCH(int, key);
    QFETCH(bool, drawn);
    V2_Data participants;
    putCar(&participants, QStringLiteral("1"), 1, 0, QStringLiteral("1"), 10, 10);
    putCar(&participants, QStringLiteral("5"), 3, status, text, 10, 10);
    if (status == ~quint64(0))
        participants.getOrCreateDataPointer(QStringLiteral("5"))->deleteKey(QStringLiteral("status"));
    PositioningController controller(nullptr);
    controller.onUpdateParticipants(&participants);
    QCOMPARE(controller.participants().values(key).size(), 1);

    ParticipantsItem item;
    item.setParticipants(&controller.participants());
    item.setVisibleNumbers({QStringLiteral("1")});
    item.setShowUnknown(showUnknown);
    // The leader (lowest key) is drawn last.
    const QStringList expected = drawn ? (key == 0 ? QStringList{"1", "5"} : QStringList{"5", "1"}) : QStringList{"1"};
    QCOMPARE(numbers(item.drawnParticipants()), expected);
}

void TestTrackPanels::oneAnnouncementPerUpdate()
{
    V2_Data participants;
    for (int car = 1; car <= 60; ++car)
        putCar(&participants, QString::number(car), car, 0, QString::number(car), car * 20, 100);
    putCar(&participants, QStringLiteral("200"), 0, 0, QStringLiteral("12345"), 0, 0);
    participants.insertData(QStringLiteral("note"), QStringLiteral("not a car"));
    PositioningController controller(nullptr);
    Scene scene;
    scene.setup(&controller, nullptr);
    QSignalSpy announced(&controller, &PositioningController::updateParticipants);
    controller.onUpdateParticipants(&participants);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(controller.participants().size(), 61);
    QCOMPARE(ParticipantsItem::label(controller.participants().value(0).text), QStringLiteral("?"));
    QCOMPARE(ParticipantsItem::label(QStringLiteral(" 12 ")), QStringLiteral("12"));

    // The blink steps once per repaint: up over five repaints, down over five.
    const quint64 before = scene.participantsItem()->repaintCount();
    render(scene);
    QCOMPARE(scene.participantsItem()->repaintCount(), before + 1);
    QList<int> levels;
    for (quint64 n = 0; n < 10; ++n)
        levels << ParticipantsItem::blinkLevel(n);
    QCOMPARE(levels, QList<int>({0, 51, 102, 153, 204, 255, 204, 153, 102, 51}));
}

void TestTrackPanels::markerAtItsPosition()
{
    V2_Data participants;
    putCar(&participants, QStringLiteral("7"), 2, 0, QStringLiteral("7"), 1000, 500, QStringLiteral("00FF00"));
    putCar(&participants, QStringLiteral("8"), 3, 0x200, QStringLiteral("8"), 400, 200, QStringLiteral("0000FF"));
    PositioningController controller(nullptr);
    controller.onUpdateParticipants(&participants);
    Scene scene;
    scene.setup(&controller, nullptr);
    scene.setVisibleNumbers({QStringLiteral("7"), QStringLiteral("8")});
    const QImage image = render(scene);
    // Halved coordinates; a car in the pit lane 70 pixels lower.
    QCOMPARE(image.pixelColor(492, 250), QColor(0, 255, 0));
    QCOMPARE(image.pixelColor(192, 170), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(192, 100), QColor(0, 0, 0));
}

void TestTrackPanels::tarmacTint_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QColor>("middle");
    QTest::newRow("red") << 5 << QColor(200, 0, 0);
    QTest::newRow("yellow") << 3 << QColor(200, 200, 0);
    QTest::newRow("white keeps grey") << 4 << QColor(200, 200, 200);
    QTest::newRow("chequered") << 8 << QColor(200, 200, 200);
    QTest::newRow("magenta") << 7 << QColor(200, 0, 200);
    QTest::newRow("unknown blanks") << 2147483647 << QColor(0, 0, 0);
}

void TestTrackPanels::tarmacTint()
{
    QFETCH(int, flag);
    QFETCH(QColor, middle);
    QPixmap tarmac;
    tarmac.loadFromData(QByteArray::fromBase64(greySquarePng().toLatin1()), "PNG");
    const QImage tinted = Scene::tinted(tarmac, flag).toImage();
    QCOMPARE(tinted.size(), QSize(20, 20));
    QCOMPARE(tinted.pixelColor(10, 10), middle);
    QCOMPARE(tinted.pixelColor(1, 1).alpha(), 0); // around the track stays see-through
}

void TestTrackPanels::picturesAndSections()
{
    auto provider = makeTestProvider();
    V2_Data* images = mirrorNode(*provider, QStringLiteral("positioning.track.images"));
    putImage(images, QStringLiteral("tarmac"), 200, 100);
    putImage(images, QStringLiteral("track"), 0, 0);
    putImage(images, QStringLiteral("sections.1"), 40, 40);
    putImage(images, QStringLiteral("sections.2"), 80, 40);
    // No picture for section 3.
    mergeMirror(*provider, R"({"positioning":{"track":{"trackStatus":5,"sectionStatus":{"1":true,"3":true}}}})");
    V2_Data* states = mirrorNode(*provider, QStringLiteral("positioning.track.sectionStatus"));

    // A panel opened late shows what the mirror has.
    WidgetPositioning panel(provider.get());
    Scene* scene = panel.scene();
    QCOMPARE(scene->tarmacItem()->pos(), QPointF(100, 50));
    QCOMPARE(scene->tarmacItem()->pixmap().toImage().pixelColor(10, 10), QColor(200, 0, 0));
    QCOMPARE(scene->sectionItems().keys(), QStringList({"1", "2"}));
    QVERIFY(scene->sectionItems().value(QStringLiteral("1"))->isVisible());
    QVERIFY(!scene->sectionItems().value(QStringLiteral("2"))->isVisible()); // no state: hidden
    QCOMPARE(scene->sectionItems().value(QStringLiteral("2"))->pos(), QPointF(40, 20));

    // New lights and flag from the controller; the pictures stay.
    emit provider->controller()->updateFlag(2147483647);
    states->insertData(QStringLiteral("1"), false);
    states->insertData(QStringLiteral("2"), true);
    emit provider->controller()->updateSectionStatus(states);
    QVERIFY(!scene->sectionItems().value(QStringLiteral("1"))->isVisible());
    QVERIFY(scene->sectionItems().value(QStringLiteral("2"))->isVisible());
    QCOMPARE(scene->tarmacItem()->pixmap().toImage().pixelColor(10, 10), QColor(0, 0, 0));

    // A refresh over a mirror without pictures keeps the last ones.
    mirrorNode(*provider, QStringLiteral("positioning.track"))->deleteKey(QStringLiteral("images"));
    panel.positioningController()->refresh();
    QVERIFY(!scene->tarmacItem()->pixmap().isNull());
    QCOMPARE(scene->sectionItems().size(), 2);

    // An images node without sections drops them; null drops everything.
    V2_Data bare;
    putImage(&bare, QStringLiteral("tarmac"), 0, 0);
    emit provider->controller()->updateTrackImages(&bare);
    QVERIFY(scene->sectionItems().isEmpty());
    emit provider->controller()->updateTrackImages(nullptr);
    QVERIFY(scene->tarmacItem()->pixmap().isNull());
}

void TestTrackPanels::viewScale_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("factor");
    QTest::newRow("narrow") << QSize(960, 1080) << 0.5;
    QTest::newRow("wide") << QSize(3840, 1080) << 2.0;
    QTest::newRow("both smaller") << QSize(960, 270) << 0.25;
    QTest::newRow("both larger") << QSize(2880, 2160) << 2.0;
    QTest::newRow("short") << QSize(3840, 540) << 0.5;
    QTest::newRow("empty") << QSize(0, 500) << 1.0;
}

void TestTrackPanels::viewScale()
{
    QFETCH(QSize, size);
    QFETCH(double, factor);
    QCOMPARE(PositioningGraphicsViewPromote::scaleFactor(size), factor);
    if (size.isEmpty())
        return;
    PositioningGraphicsViewPromote view;
    view.setUseOpenGL(false);
    view.resize(size);
    view.show();
    QTRY_COMPARE(view.transform().m11(), factor);
}

void TestTrackPanels::panelOptionsAndFilters()
{
    auto provider = makeTestProvider();
    // Entries 7 and 12 in GT3, 9 in LMP2.
    mergeMirror(*provider, R"({"timing":{"session":{"entry":{"7":{"class":"GT3"},"9":{"class":"LMP2"},"12":{"class":"GT3"}},)"
                           R"("classes":{"GT3":{"name":"GT3"},"LMP2":{"name":"LMP2"}},"standings":{"byClass":{}}}}})");
    V2_Data* participants = mirrorNode(*provider, QStringLiteral("positioning.participants"));
    putCar(participants, QStringLiteral("7"), 1, 0, QStringLiteral("7"), 100, 100);
    putCar(participants, QStringLiteral("9"), 2, 0, QStringLiteral("9"), 200, 100);
    putCar(participants, QStringLiteral("12"), 3, 0, QStringLiteral("12"), 300, 100);
    putCar(participants, QStringLiteral("SC"), 0, 0x1, QStringLiteral("SC"), 400, 100);
    putCar(participants, QStringLiteral("99"), 4, 0, QStringLiteral("?"), 500, 100);

    WidgetPositioning panel(provider.get());
    emit provider->controller()->updateParticipants(participants);
    ParticipantsItem* item = panel.scene()->participantsItem();
    auto* classes = panel.findChild<QComboBox*>(QStringLiteral("comboBoxClassesFilter"));
    QCOMPARE(classes->count(), 3); // All, GT3, LMP2
    QCOMPARE(numbers(item->drawnParticipants()), QStringList({"99", "12", "9", "7", "SC"}));

    classes->setCurrentText(QStringLiteral("GT3"));
    QCOMPARE(numbers(item->drawnParticipants()), QStringList({"99", "12", "7", "SC"}));
    // The classes announced again keep the choice.
    emit provider->controller()->sessionClasses();
    QCOMPARE(classes->currentText(), QStringLiteral("GT3"));

    provider->setCarToFollow(1, QStringLiteral("12"));
    panel.findChild<QCheckBox*>(QStringLiteral("checkBoxCarsFollow"))->click();
    QCOMPARE(numbers(item->drawnParticipants()), QStringList({"99", "12", "SC"}));
    provider->setCarToFollow(1, QStringLiteral("9"));
    QCOMPARE(numbers(item->drawnParticipants()), QStringList({"99", "SC"}));

    panel.findChild<QCheckBox*>(QStringLiteral("checkBox_ShowUnknownParticipants"))->click();
    QCOMPARE(numbers(item->drawnParticipants()), QStringList({"SC"}));
    QCOMPARE(AppSettings::open()->value(QStringLiteral("showUnknownParticipants")).toBool(), false);

    // Marker size: 0.65 until the slider moves, which saves it.
    auto* slider = panel.findChild<QSlider*>(QStringLiteral("horizontalSliderItemSize"));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(panel.scene()->itemScale(), 0.65);
    slider->setValue(1000);
    QCOMPARE(panel.scene()->itemScale(), 3.5);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("item_scale")).toInt(), 1000);

    const int withLegend = panel.scene()->items().size();
    panel.findChild<QCheckBox*>(QStringLiteral("checkBox_showLabels"))->click();
    QCOMPARE(panel.scene()->items().size(), withLegend - 3);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("showLabels")).toBool(), false);
    panel.findChild<QCheckBox*>(QStringLiteral("checkBox_showBackground"))->click();
    QCOMPARE(AppSettings::open()->value(QStringLiteral("positioning_showbackground")).toString(), QStringLiteral("true"));
    QVERIFY(panel.scene()->backgroundItem()->isVisible());

    // A second panel starts from the stored options.
    WidgetPositioning again(provider.get());
    QCOMPARE(again.findChild<QSlider*>(QStringLiteral("horizontalSliderItemSize"))->value(), 1000);
    QCOMPARE(again.scene()->itemScale(), 3.5);
    QVERIFY(!again.scene()->showLabels());
    QVERIFY(!again.scene()->participantsItem()->showUnknown());
    again.setBikeLayout(true);
    QCOMPARE(again.findChild<QCheckBox*>(QStringLiteral("checkBoxCarsFollow"))->text(), QStringLiteral("Show only bikes followed"));
}

void TestTrackPanels::previewSectors()
{
    auto provider = makeTestProvider();
    trackLoops(*provider, {"A", "I1", "B", "FL"});
    TrackGraphicsView view(provider.get());
    emit provider->controller()->trackInfo();
    QCOMPARE(view.sectorStarts(), QStringList({"I1"}));
    QStringList titles;
    for (QGraphicsItem* item : view.scene()->items(Qt::AscendingOrder)) {
        if (auto* text = qgraphicsitem_cast<QGraphicsSimpleTextItem*>(item); text && text->text().startsWith(QLatin1String("SECTOR")))
            titles << text->text();
    }
    // (A,I1) starts sector 1, (I1,B) sector 2, (B,FL) continues it.
    QCOMPARE(titles, QStringList({"SECTOR 1", "SECTOR 2"}));

    // Five sectors: the fifth is blue again.
    trackLoops(*provider, {"A", "I1", "I2", "I3", "I4", "FL"});
    emit provider->controller()->trackInfo();
    QList<QColor> middles;
    for (QGraphicsItem* item : view.scene()->items(Qt::AscendingOrder)) {
        if (auto* bar = qgraphicsitem_cast<QGraphicsRectItem*>(item))
            middles << bar->brush().gradient()->stops().at(1).second;
    }
    QCOMPARE(middles.size(), 5);
    QCOMPARE(middles.first(), QColor(75, 150, 255));
    QCOMPARE(middles.at(3), QColor(240, 240, 240));
    QCOMPARE(middles.last(), QColor(75, 150, 255));

    trackLoops(*provider, {});
    emit provider->controller()->trackInfo();
    QVERIFY(view.scene()->items().isEmpty());
}

void TestTrackPanels::decorationsUnderTheMarker_data()
{
    QTest::addColumn<quint64>("status");
    QTest::newRow("fan boost") << quint64(0x10000);
    QTest::newRow("attack mode") << quint64(0x8000);
    QTest::newRow("no GPS") << quint64(0x1000);
}

void TestTrackPanels::decorationsUnderTheMarker()
{
    QFETCH(quint64, status);
    ProgramResources::init();
    const auto draw = [](quint64 carStatus) {
        V2_Data participants;
        putCar(&participants, QStringLiteral("7"), 2, carStatus, QStringLiteral("7"), 1000, 500);
        PositioningController controller(nullptr);
        controller.onUpdateParticipants(&participants);
        Scene scene;
        scene.setup(&controller, nullptr);
        scene.setVisibleNumbers({QStringLiteral("7")});
        return render(scene);
    };
    const QImage plain = draw(0);
    const QImage decorated = draw(status);
    QRect changed;
    for (int y = 150; y < 350; ++y) {
        for (int x = 400; x < 600; ++x) {
            if (plain.pixel(x, y) != decorated.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
        }
    }
    // Around the marker at (500, 250) on both sides, not mirrored beyond its corner.
    QVERIFY(!changed.isEmpty());
    QVERIFY2(changed.left() < 488 && changed.right() > 512 && changed.top() < 238 && changed.bottom() > 262,
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(changed.x()).arg(changed.y()).arg(changed.width()).arg(changed.height())));
    QVERIFY(changed.left() >= 475 && changed.right() <= 525);
}

void TestTrackPanels::sharedPositionKeepsOwnColours()
{
    V2_Data participants;
    putCar(&participants, QStringLiteral("7"), 4, 0, QStringLiteral("7"), 10, 10, QStringLiteral("00FF00"));
    putCar(&participants, QStringLiteral("8"), 4, 0, QStringLiteral("8"), 20, 20);
    participants.getOrCreateDataPointer(QStringLiteral("8"))->deleteKey(QStringLiteral("bgColor"));
    PositioningController controller(nullptr);
    controller.onUpdateParticipants(&participants);
    const QList<ParticipantPosition> atFour = controller.participants().values(4);
    QCOMPARE(atFour.size(), 2);
    for (const ParticipantPosition& car : atFour)
        QCOMPARE(car.bgColor, car.number == QLatin1String("7") ? QColor(0, 255, 0) : QColor(0, 0, 0));
}

void TestTrackPanels::markersLegibleOnSmallView()
{
    auto provider = makeTestProvider();
    WidgetPositioning panel(provider.get());
    panel.resize(630, 420);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const double viewScale = panel.view()->transform().m11();
    QVERIFY2(viewScale < 0.5, qPrintable(QString::number(viewScale)));
    V2_Data participants;
    putCar(&participants, QStringLiteral("7"), 1, 0x1, QStringLiteral("7"), Scene::kWidth / 2, Scene::kHeight / 2, QStringLiteral("00FF00"));
    panel.positioningController()->onUpdateParticipants(&participants);
    // The label's painted fill, in pixels of the view: the box keeps the
    // 15.6 pixels it has on a view of the whole scene, 12 inside its outline
    // (the fill was 2, the number unreadable).
    const QRect box = paintedGreen(panel);
    QVERIFY2(box.height() >= 11 && box.width() >= 11, qPrintable(QStringLiteral("%1 x %2").arg(box.width()).arg(box.height())));
    // The slider still enlarges them, and has room to be moved.
    QSlider* slider = panel.findChild<QSlider*>(QStringLiteral("horizontalSliderItemSize"));
    QVERIFY2(slider->width() >= 80, qPrintable(QString::number(slider->width())));
    slider->setValue(500);
    const QRect larger = paintedGreen(panel);
    QVERIFY2(larger.height() > 2 * box.height(), qPrintable(QStringLiteral("%1 after %2").arg(larger.height()).arg(box.height())));
}

void TestTrackPanels::markersFollowTextSize()
{
    auto provider = makeTestProvider();
    WidgetPositioning panel(provider.get());
    panel.resize(630, 420);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    V2_Data participants;
    putCar(&participants, QStringLiteral("7"), 1, 0x1, QStringLiteral("7"), Scene::kWidth / 2, Scene::kHeight / 2, QStringLiteral("00FF00"));
    panel.positioningController()->onUpdateParticipants(&participants);
    const QRect normal = paintedGreen(panel);
    // At 200 % the marker and its number are drawn twice as large, whatever room the view has left.
    ToolWindow::setTextScale(2);
    panel.applyTextScale();
    ToolWindow::setTextScale(1);
    const QRect large = paintedGreen(panel);
    QVERIFY2(qAbs(large.height() - 2 * normal.height()) <= 2 && qAbs(large.width() - 2 * normal.width()) <= 2,
             qPrintable(QStringLiteral("%1 x %2 after %3 x %4").arg(large.width()).arg(large.height()).arg(normal.width()).arg(normal.height())));
    panel.applyTextScale();
    QCOMPARE(paintedGreen(panel).size(), normal.size());
}

void TestTrackPanels::movedMarkersRepaintWhereTheyWere_data()
{
    // Two cars' scene positions, before and after (x -1: no car), and the
    // first car's status and number.
    QTest::addColumn<QList<QPoint>>("before");
    QTest::addColumn<QList<QPoint>>("after");
    QTest::addColumn<quint64>("status");
    QTest::addColumn<QString>("text");
    const QList<QPoint> two{{300, 300}, {1500, 800}};
    QTest::newRow("one car moved") << two << QList<QPoint>{{340, 310}, {1500, 800}} << quint64(0x1) << "7";
    QTest::newRow("both moved far") << two << QList<QPoint>{{900, 700}, {200, 900}} << quint64(0x1) << "7";
    QTest::newRow("one car gone") << two << QList<QPoint>{{300, 300}, {-1, -1}} << quint64(0x1) << "7";
    QTest::newRow("one car come") << QList<QPoint>{{300, 300}, {-1, -1}} << two << quint64(0x1) << "7";
    // Larger than a plain marker: the chequered flag, 15 % more, three digits.
    QTest::newRow("highlighted, finished, three digits") << two << QList<QPoint>{{900, 700}, {1500, 800}} << quint64(0x1 | 0x8 | 0x2000)
                                                         << "123";
    // Drawn in whatever font the painter holds, clipped to its box.
    QTest::newRow("four characters") << two << QList<QPoint>{{900, 700}, {1500, 800}} << quint64(0x1) << "WWWW";
}

// A move repaints the markers' old and new places only, and leaves on the
// screen what a fresh paint of the view gives.
void TestTrackPanels::movedMarkersRepaintWhereTheyWere()
{
    QFETCH(QList<QPoint>, before);
    QFETCH(QList<QPoint>, after);
    QFETCH(quint64, status);
    QFETCH(QString, text);
    ProgramResources::init();
    auto provider = makeTestProvider();
    WidgetPositioning panel(provider.get());
    panel.resize(1000, 700);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const ParticipantsItem* item = panel.scene()->participantsItem();
    const auto feed = [&](const QList<QPoint>& places) {
        const quint64 painted = item->repaintCount();
        V2_Data participants;
        for (int car = 0; car < places.size(); ++car) {
            if (places.at(car).x() >= 0)
                putCar(&participants, QString::number(car + 7), car + 1, car == 0 ? status : 0x1, car == 0 ? text : QStringLiteral("8"),
                       places.at(car).x() * 2, places.at(car).y() * 2);
        }
        panel.positioningController()->onUpdateParticipants(&participants);
        QTRY_VERIFY(item->repaintCount() > painted);
    };
    feed(before);
    // A picture of the map at another scale is not what the view shows.
    QImage picture(2 * Scene::kWidth, 2 * Scene::kHeight, QImage::Format_ARGB32);
    QPainter painter(&picture);
    panel.scene()->render(&painter);
    painter.end();
    QWidget* inside = panel.view()->viewport();
    PaintRecorder recorder;
    inside->installEventFilter(&recorder);
    feed(after);
    inside->removeEventFilter(&recorder);

    QCOMPARE(ScreenPixels::shown(inside), ScreenPixels::fresh(inside));
    // Two cars' markers, before and after: a small part of the view (it was all of it).
    QVERIFY2(recorder.area() * 20 < qint64(inside->width()) * inside->height(), qPrintable(QString::number(recorder.area())));
    for (const QList<QPoint>& places : {before, after}) {
        for (const QPoint& place : places) {
            if (place.x() >= 0)
                QVERIFY(recorder.painted().contains(panel.view()->mapFromScene(place)));
        }
    }
}

void TestTrackPanels::markerFollowsItsLook_data()
{
    // A car first drawn green, pinned, "7", at beforeScale; then in this
    // look at afterScale and afterRatio.
    QTest::addColumn<quint64>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<double>("beforeScale");
    QTest::addColumn<double>("afterScale");
    QTest::addColumn<double>("afterRatio");
    QTest::newRow("fill") << quint64(0x1) << "7" << "FF0000" << 1.0 << 1.0 << 1.0;
    QTest::newRow("number") << quint64(0x1) << "77" << "00FF00" << 1.0 << 1.0 << 1.0;
    QTest::newRow("blue outline") << quint64(0x5) << "7" << "00FF00" << 1.0 << 1.0 << 1.0;
    QTest::newRow("chequered") << quint64(0x2001) << "7" << "00FF00" << 1.0 << 1.0 << 1.0;
    QTest::newRow("leader") << quint64(0x3) << "7" << "00FF00" << 1.0 << 1.0 << 1.0;
    QTest::newRow("four characters") << quint64(0x1) << "7777" << "00FF00" << 1.0 << 1.0 << 1.0;
    QTest::newRow("half the size") << quint64(0x1) << "7" << "00FF00" << 1.0 << 0.5 << 1.0;
    // As many pixels to a body, of another ratio.
    QTest::newRow("pixel ratio 2 after twice the size") << quint64(0x1) << "7" << "00FF00" << 2.0 << 1.0 << 2.0;
}

// A marker drawn in one look, or at one scale, and then in another shows
// the second, as a map that never drew the first does.
void TestTrackPanels::markerFollowsItsLook()
{
    QFETCH(quint64, status);
    QFETCH(QString, text);
    QFETCH(QString, fill);
    QFETCH(double, beforeScale);
    QFETCH(double, afterScale);
    QFETCH(double, afterRatio);
    struct Look {
        quint64 status;
        QString text;
        QString fill;
        double scale;
        double ratio;
    };
    const auto picture = [](const QList<Look>& looks) {
        PositioningController controller(nullptr);
        Scene scene;
        scene.setup(&controller, nullptr);
        QImage image;
        for (const Look& look : looks) {
            V2_Data participants;
            putCar(&participants, QStringLiteral("7"), 1, look.status, look.text, 600, 400, look.fill);
            controller.onUpdateParticipants(&participants);
            const QSizeF size = QSizeF(Scene::kWidth, Scene::kHeight) * look.scale;
            image = QImage((size * look.ratio).toSize(), QImage::Format_ARGB32);
            image.setDevicePixelRatio(look.ratio);
            image.fill(Qt::black);
            QPainter painter(&image);
            scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(0, 0, Scene::kWidth, Scene::kHeight));
        }
        return image;
    };
    const Look after{status, text, fill, afterScale, afterRatio};
    const QImage changed = picture({{quint64(0x1), QStringLiteral("7"), QStringLiteral("00FF00"), beforeScale, 1.0}, after});
    QCOMPARE(changed, picture({after, after}));
}

void TestTrackPanels::previewBarHeight_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("bar");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("labelLine");
    QTest::newRow("capped") << 200 << 60.0 << 90.0 << 110.0;
    QTest::newRow("between") << 100 << 40.0 << 50.0 << 60.0;
    // At 50 the bar of 30 would end at 60: it shrinks to fit under its titles.
    QTest::newRow("low") << 50 << 23.0 << 25.0 << 26.5;
}

void TestTrackPanels::previewBarHeight()
{
    QFETCH(int, height);
    QFETCH(double, bar);
    QFETCH(double, top);
    QFETCH(double, labelLine);
    auto provider = makeTestProvider();
    trackLoops(*provider, {"A", "I1", "FL"});
    TrackGraphicsView view(provider.get());
    view.resize(400, height);
    view.show();
    QTRY_COMPARE(view.scene()->sceneRect().height(), double(height));
    QCOMPARE(view.barHeight(), bar);
    QCOMPARE(view.barTop(), top);
    QCOMPARE(view.labelLine(), labelLine);
    // Bar and titles inside the view.
    QVERIFY(view.barTop() - 25 >= 0);
    QVERIFY(view.barTop() + view.barHeight() <= height);
}

void TestTrackPanels::previewElidesInTheMiddle()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(6);
    const QString shortened = TrackGraphicsView::segmentLabel(QStringLiteral("START_FINISH_LINE"), QStringLiteral("INTERMEDIATE_NORTH"), font, 60);
    QVERIFY(shortened.contains(QChar(0x2026)));
    QVERIFY(shortened.startsWith(QLatin1Char('S')));
    QVERIFY(shortened.endsWith(QLatin1Char('H')));
    // Within the room left (60 less the margin); eliding and measuring may
    // round apart by under a pixel with some fonts (50.5 with DejaVu Sans).
    const qreal advance = QFontMetricsF(font).horizontalAdvance(shortened);
    QVERIFY2(advance <= 51, qPrintable(shortened + QLatin1Char(' ') + QString::number(advance)));
    QCOMPARE(TrackGraphicsView::segmentLabel(QStringLiteral("A"), QStringLiteral("B"), font, 200), QStringLiteral("A \u2015 B"));
}

QTEST_MAIN(TestTrackPanels)
#include "tst_trackpanels.moc"
