#include "WidgetSessionInfo.h"

#include "AppSettings.h"
#include "PanelRegistry.h"
#include "ResizableQframe.h"
#include "ResizableQlabelImage.h"
#include "SessionClock.h"
#include "V2DataProvider.h"

#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>

namespace {

constexpr int kTickMs = 500;
const QString kCaptionStyle = QStringLiteral("color: rgb(126, 126, 126);");
// Captions stay quieter than the values, yet readable on black.
const QString kHighContrastCaptionStyle = QStringLiteral("color: rgb(210, 210, 210);");

QString captionStyle(const QString& skin)
{
    return skin == AppSettings::kHighContrastSkin ? kHighContrastCaptionStyle : kCaptionStyle;
}

// The picture of each flag the session can show.
struct FlagPicture {
    const char* flag;
    const char* picture;
};
const FlagPicture kFlagPictures[] = {
    {"GREEN", ":icons/flagGreen"},
    {"YELLOW", ":icons/flagYellow"},
    {"FULL_YELLOW", ":icons/flagFullYellow"},
    {"SAFETY_CAR", ":icons/flagSafety"},
    {"RED", ":icons/flagRed"},
    {"CODE_60", ":icons/flagCode60"},
    {"VIRTUAL_SAFETY_CAR", ":icons/flagVirtualSafetyCar"},
};

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* created = new QLabel(text, parent);
    created->setObjectName(QLatin1String(name));
    return created;
}

} // namespace

WidgetSessionInfo::WidgetSessionInfo(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_frame(new ResizableQframe(contentWidget()))
    , m_title(label(m_frame, "labelChampName", tr("Title")))
    , m_remaining(label(m_frame, "labelRem", QString()))
    , m_elapsed(label(m_frame, "labelElapsed", QString()))
    , m_flag(new ResizableQlabelImage(m_frame))
    , m_progress(new QProgressBar(m_frame))
    , m_percent(label(m_frame, "label_ProgressBar", QStringLiteral("0%")))
{
    PanelRegistry::place(this, PanelRegistry::SessionInfo);
    m_flag->setObjectName(QStringLiteral("labelFlg_main"));
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setFormat(QString());
    m_progress->setTextVisible(false);
    m_title->setAlignment(Qt::AlignCenter);
    QLabel* remainingCaption = label(m_frame, "labelR_2", tr("Remaining:"));
    QLabel* elapsedCaption = label(m_frame, "labelElapsedText", tr("Elapsed:"));
    for (QLabel* caption : {remainingCaption, elapsedCaption}) {
        caption->setStyleSheet(captionStyle(AppSettings::skin()));
        connect(this, &ToolWindow::updateSkin, caption, [caption](const QString& skin) { caption->setStyleSheet(captionStyle(skin)); });
    }
    for (QLabel* value : {m_remaining, m_elapsed, m_percent})
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QWidget* widget : {static_cast<QWidget*>(m_title), static_cast<QWidget*>(remainingCaption), static_cast<QWidget*>(m_remaining),
                            static_cast<QWidget*>(elapsedCaption), static_cast<QWidget*>(m_elapsed), static_cast<QWidget*>(m_flag),
                            static_cast<QWidget*>(m_percent)})
        widget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    auto* grid = new QGridLayout(m_frame);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->addWidget(m_title, 0, 0, 1, 3);
    grid->addWidget(remainingCaption, 1, 0);
    grid->addWidget(m_remaining, 1, 1);
    grid->addWidget(m_flag, 1, 2, 2, 1);
    grid->addWidget(elapsedCaption, 2, 0);
    grid->addWidget(m_elapsed, 2, 1);
    grid->addWidget(m_progress, 3, 0, 1, 2);
    grid->addWidget(m_percent, 3, 2);
    grid->setRowStretch(0, 3);
    grid->setRowStretch(1, 4);
    grid->setRowStretch(2, 4);
    grid->setRowStretch(3, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 4);
    grid->setColumnStretch(2, 2);
    contentWidget()->layout()->addWidget(m_frame);
    fitNoSmallerThanText();

    connect(provider, &V2DataProvider::sessionInfo, this, &WidgetSessionInfo::processUpdate);
    connect(provider, &V2DataProvider::sessionStatus, this, &WidgetSessionInfo::processUpdate);
    connect(&m_timer, &QTimer::timeout, this, &WidgetSessionInfo::processUpdate);
    m_timer.start(kTickMs);
    runWhileShowing(&m_timer, [this] { processUpdate(); });
    processUpdate();
}

WidgetSessionInfo::~WidgetSessionInfo() = default;

void WidgetSessionInfo::processUpdate()
{
    const QString remainingBefore = m_remaining->text();
    const QString elapsedBefore = m_elapsed->text();
    const QString titleBefore = m_title->text();

    // Flag picture: the chequered flag once finished, else the current flag.
    QString picture;
    const QString flag = m_provider->getCurrentFlag();
    if (m_provider->isSessionFinished()) {
        picture = QStringLiteral(":icons/flagFinished");
    } else {
        for (const FlagPicture& entry : kFlagPictures) {
            if (flag == QLatin1String(entry.flag))
                picture = QLatin1String(entry.picture);
        }
    }
    // Scaled again only when it changes: the clock ticks far more often than the flag.
    if (!m_flagShown || picture != m_flagPicture) {
        m_flagShown = true;
        m_flagPicture = picture;
        m_flag->setImage(picture.isEmpty() ? QPixmap() : QPixmap(picture));
    }

    m_title->setText(m_provider->getChampName() + QStringLiteral(" / ") + m_provider->getSessionName());
    m_remaining->setText(SessionClock::remainingText());
    m_elapsed->setText(SessionClock::elapsedText());
    // Texts of another length need another common size.
    if (m_remaining->text().size() != remainingBefore.size() || m_elapsed->text().size() != elapsedBefore.size() || m_title->text() != titleBefore)
        m_frame->refit();

    const auto byTime = [] {
        const int maximum = SessionClock::finalTime();
        return qMakePair(SessionClock::closed() ? maximum : qMin(SessionClock::elapsedSeconds(), maximum), maximum);
    };
    const auto byLaps = [] {
        const int maximum = SessionClock::finalLaps();
        return qMakePair(SessionClock::closed() ? maximum : qMin(SessionClock::elapsedLaps(), maximum), maximum);
    };
    QPair<int, int> progress;
    switch (SessionClock::finalType()) {
    case SessionClock::FinalByTime:
        progress = byTime();
        break;
    case SessionClock::FinalByLaps:
        progress = byLaps();
        break;
    case SessionClock::FinalByLapsWithMaxTime:
        progress = SessionClock::forcedByTime() ? byTime() : byLaps();
        break;
    case SessionClock::FinalByTimePlusLaps:
        progress = SessionClock::timeFinished() ? byLaps() : byTime();
        break;
    default:
        if (!m_progress->isHidden())
            m_progress->hide();
        return;
    }
    if (m_progress->isHidden())
        m_progress->show();
    showProgress(progress.first, progress.second);
}

void WidgetSessionInfo::textScaleChanged(qreal oldScale)
{
    ToolWindow::textScaleChanged(oldScale);
    fitNoSmallerThanText();
}

void WidgetSessionInfo::fitNoSmallerThanText()
{
    // The texts fit the window, yet no smaller than the panel font: at a
    // large text size they stay large in a small window (the taller title
    // bar would otherwise shrink them below their size at 100 %).
    m_frame->setMinimumPixelSize(QFontInfo(panelFont()).pixelSize());
}

void WidgetSessionInfo::showProgress(int value, int maximum)
{
    m_progress->setMaximum(qMax(maximum, 0));
    m_progress->setValue(qBound(0, value, qMax(maximum, 0)));
    // No laps or time to run gives no percentage rather than a division by zero.
    const int percent = maximum > 0 ? int(float(qBound(0, value, maximum)) / float(maximum) * 100.0f) : 0;
    m_percent->setText(QStringLiteral("%1%").arg(percent));
}
