#include "DisplayMenu.h"

#include "AppSettings.h"
#include "TimingColours.h"
#include "ToolWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

namespace {

const QString kLayouts = QStringLiteral("layouts");
const QString kPaletteKey = QStringLiteral("timingPalette");
const QString kColourSafe = QStringLiteral("colourSafe");
const QString kClassic = QStringLiteral("classic");
const QString kCuesKey = QStringLiteral("timingCues");
const char* const kScaleProperty = "textScale";

struct SkinEntry {
    const QString& name;
    const char* action;
    const char* text;
    const char* styleSheet;
};

const SkinEntry kSkins[] = {
    {AppSettings::kDarkSkin, "actionDark_skin", QT_TRANSLATE_NOOP("MainWindow", "Dark skin"), ":/qss/Resources/qss/DarkStyle.qss"},
    {AppSettings::kLightSkin, "actionLight_skin", QT_TRANSLATE_NOOP("MainWindow", "Light skin"), ":/qss/Resources/qss/LightStyle.qss"},
    {AppSettings::kHighContrastSkin, "actionHigh_contrast_skin", QT_TRANSLATE_NOOP("MainWindow", "High contrast skin"),
     ":/qss/Resources/qss/HighContrastStyle.qss"},
};

const SkinEntry& skinEntry(const QString& skin)
{
    for (const SkinEntry& entry : kSkins) {
        if (entry.name == skin)
            return entry;
    }
    // Any other name is the light skin, as it always was.
    return kSkins[1];
}

// A stored size that is not a number is 100 %; others are kept within the sizes offered.
qreal storedTextScale(const QVariant& stored)
{
    bool ok = false;
    const qreal scale = stored.toDouble(&ok);
    const QList<qreal>& scales = DisplayMenu::textScales();
    return ok ? qBound(scales.first(), scale, scales.last()) : 1.0;
}

} // namespace

const QString DisplayMenu::kTextScaleKey = QStringLiteral("textScale");

const QList<qreal>& DisplayMenu::textScales()
{
    static const QList<qreal> scales{1.0, 1.25, 1.5, 1.75, 2.0};
    return scales;
}

DisplayMenu::DisplayMenu(QMenu* menu, QMainWindow* window)
    : QObject(window)
    , m_window(window)
    , m_menu(menu)
{
    const auto settings = AppSettings::open();
    for (const SkinEntry& entry : kSkins) {
        QAction* action = menu->addAction(QCoreApplication::translate("MainWindow", entry.text));
        action->setObjectName(QLatin1String(entry.action));
        action->setCheckable(true);
        const QString& name = entry.name;
        connect(action, &QAction::toggled, this, [this, name](bool checked) { skinToggled(name, checked); });
    }
    m_skin = skinEntry(settings->value(AppSettings::kSkinKey, AppSettings::kDarkSkin).toString()).name;
    checkSkin(m_skin);
    qApp->setStyleSheet(styleSheet(m_skin));

    menu->addSeparator();
    QAction* safe = menu->addAction(tr("Colour-blind safe timing colours"));
    safe->setObjectName(QStringLiteral("actionColour_safe_timing"));
    safe->setCheckable(true);
    safe->setToolTip(tr("Bests in orange and sky blue (Okabe-Ito), told apart with any colour vision."));
    TimingColours* colours = TimingColours::instance();
    colours->setPalette(settings->value(kPaletteKey).toString() == kColourSafe ? TimingColours::ColourSafe : TimingColours::Classic);
    // Marks without colour from the first start, but not for users updating
    // (their settings already hold a skin), who keep the look they know.
    if (!settings->contains(kCuesKey))
        settings->setValue(kCuesKey, !settings->contains(AppSettings::kSkinKey));
    colours->setCues(settings->value(kCuesKey).toBool());
    safe->setChecked(colours->palette() == TimingColours::ColourSafe);
    connect(safe, &QAction::toggled, colours, [colours](bool on) {
        AppSettings::open()->setValue(kPaletteKey, on ? kColourSafe : kClassic);
        colours->setPalette(on ? TimingColours::ColourSafe : TimingColours::Classic);
    });
    QAction* cues = menu->addAction(tr("Mark bests without colour"));
    cues->setObjectName(QStringLiteral("actionTiming_cues"));
    cues->setCheckable(true);
    cues->setToolTip(tr("Session bests bold, personal bests underlined, bests shown in the pit lane in italics, invalid times struck out."));
    cues->setChecked(colours->cues());
    connect(cues, &QAction::toggled, colours, [colours](bool on) {
        AppSettings::open()->setValue(kCuesKey, on);
        colours->setCues(on);
    });

    QMenu* sizes = menu->addMenu(tr("Text size"));
    sizes->setObjectName(QStringLiteral("menuText_size"));
    auto* group = new QActionGroup(sizes);
    for (qreal scale : textScales()) {
        const int percent = qRound(scale * 100);
        QAction* action = sizes->addAction(tr("%1 %").arg(percent));
        action->setObjectName(QStringLiteral("actionText_size_%1").arg(percent));
        action->setCheckable(true);
        action->setProperty(kScaleProperty, scale);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, scale] { setTextScale(scale); });
    }
    ToolWindow::setTextScale(storedTextScale(settings->value(kTextScaleKey, 1.0)));
    QApplication::setFont(ToolWindow::panelFont());
    checkTextScale();
}

DisplayMenu::~DisplayMenu() = default;

QString DisplayMenu::skin() const
{
    return m_skin;
}

QString DisplayMenu::styleSheet(const QString& skin)
{
    // Latin-1 text up to its first NUL byte; empty when the resource is missing.
    QFile file(QLatin1String(skinEntry(skin).styleSheet));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    return QString::fromLatin1(bytes.constData(), qstrnlen(bytes.constData(), uint(bytes.size())));
}

void DisplayMenu::checkSkin(const QString& skin)
{
    // Only the chosen skin's action is checked; none runs its handler again.
    for (const SkinEntry& entry : kSkins) {
        QAction* action = m_menu->findChild<QAction*>(QLatin1String(entry.action));
        if (!action)
            continue;
        const QSignalBlocker blocker(action);
        action->setChecked(entry.name == skin);
    }
}

void DisplayMenu::skinToggled(const QString& skin, bool checked)
{
    if (checked) {
        chooseSkin(skin);
        return;
    }
    // Unchecking a skin chooses another: light from dark, dark from the others.
    if (skin == m_skin)
        chooseSkin(skin == AppSettings::kDarkSkin ? AppSettings::kLightSkin : AppSettings::kDarkSkin);
}

void DisplayMenu::chooseSkin(const QString& skin)
{
    m_skin = skinEntry(skin).name;
    checkSkin(m_skin);
    AppSettings::open()->setValue(AppSettings::kSkinKey, m_skin);
    const QString sheet = styleSheet(m_skin);
    emit skinChanged(m_skin);
    qApp->setStyleSheet(sheet);
}

void DisplayMenu::checkTextScale()
{
    QMenu* sizes = m_menu->findChild<QMenu*>(QStringLiteral("menuText_size"));
    for (QAction* action : sizes->actions())
        action->setChecked(qFuzzyCompare(action->property(kScaleProperty).toReal(), ToolWindow::textScale()));
}

void DisplayMenu::setTextScale(qreal scale)
{
    ToolWindow::setTextScale(scale);
    AppSettings::open()->setValue(kTextScaleKey, ToolWindow::textScale());
    checkTextScale();
    const QFont font = ToolWindow::panelFont();
    // Menus and dialogs take the application's font; the window's bars were given the panel font.
    QApplication::setFont(font);
    m_window->setFont(font);
    m_window->menuBar()->setFont(font);
    m_window->statusBar()->setFont(font);
    for (QLabel* label : m_window->statusBar()->findChildren<QLabel*>()) {
        QFont labelFont = font;
        labelFont.setBold(label->font().bold());
        label->setFont(labelFont);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* panel = qobject_cast<ToolWindow*>(window))
            panel->applyTextScale();
    }
}

void DisplayMenu::loadTextScale(const QString& layout)
{
    const QVariant stored = AppSettings::open()->value(QStringLiteral("%1/%2/%3").arg(kLayouts, layout, kTextScaleKey));
    if (stored.isValid())
        setTextScale(storedTextScale(stored));
}

void DisplayMenu::saveTextScale(QSettings& settings) const
{
    settings.setValue(kTextScaleKey, ToolWindow::textScale());
}
