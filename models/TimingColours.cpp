#include "TimingColours.h"

#include "AppSettings.h"

#include <QBrush>
#include <QFont>

namespace {

const QColor kDarkText(22, 22, 22);
const QColor kLightText(220, 220, 220);
// The high-contrast skin's text is pure white on black.
const QColor kBrightText(255, 255, 255);

// Okabe & Ito, "Color Universal Design (CUD): how to make figures and
// presentations that are friendly to colorblind people" (2008),
// https://jfly.uni-koeln.de/color/ : orange and sky blue stay apart for
// protanopes, deuteranopes and tritanopes alike, and both carry dark text.
const QColor kSafeSessionBest(0xE6, 0x9F, 0x00);  // orange
const QColor kSafePersonalBest(0x56, 0xB4, 0xE9); // sky blue
const QColor kSafeBlue(0x00, 0x72, 0xB2);         // blue, on light grounds

} // namespace

TimingColours::TimingColours() = default;

TimingColours* TimingColours::instance()
{
    static TimingColours* colours = new TimingColours;
    return colours;
}

TimingColours::Palette TimingColours::palette() const
{
    return m_palette;
}

bool TimingColours::cues() const
{
    return m_cues;
}

void TimingColours::setPalette(Palette palette)
{
    if (palette == m_palette)
        return;
    m_palette = palette;
    emit changed();
}

void TimingColours::setCues(bool on)
{
    if (on == m_cues)
        return;
    m_cues = on;
    emit changed();
}

QColor TimingColours::fill(Mark mark)
{
    const bool safe = instance()->palette() == ColourSafe;
    switch (mark) {
    case SessionBest:
        return safe ? kSafeSessionBest : QColor(Qt::magenta);
    case PersonalBest:
        return safe ? kSafePersonalBest : QColor(Qt::cyan);
    default:
        return QColor();
    }
}

QVariant TimingColours::background(Mark mark, const QColor& highlight)
{
    const QColor colour = fill(mark);
    if (colour.isValid())
        return QBrush(colour);
    return highlight.isValid() ? QVariant(QBrush(highlight)) : QVariant();
}

QColor TimingColours::text(bool highlighted, const QString& skin)
{
    if (highlighted || !AppSettings::isDarkSkin(skin))
        return kDarkText;
    return skin == AppSettings::kHighContrastSkin ? kBrightText : kLightText;
}

QVariant TimingColours::foreground(Mark mark, const QColor& highlight, const QString& skin)
{
    const bool dark = AppSettings::isDarkSkin(skin);
    const bool safe = instance()->palette() == ColourSafe;
    switch (mark) {
    case SessionBest:
    case PersonalBest:
        return QBrush(kDarkText);
    case BestInPit:
        if (safe)
            return QBrush(dark ? kSafePersonalBest : kSafeBlue);
        return QBrush(dark ? QColor(Qt::cyan) : QColor(Qt::blue));
    case Invalid:
        // Grey cannot be read on a followed car's colour: dark text there,
        // struck out (`font`). Elsewhere grey, readable on the high-contrast black.
        if (highlight.isValid())
            return QBrush(kDarkText);
        if (skin == AppSettings::kHighContrastSkin)
            return QBrush(QColor(Qt::lightGray));
        return QBrush(dark ? QColor(Qt::darkGray) : QColor(Qt::gray));
    case NoMark:
        break;
    }
    return QBrush(text(highlight.isValid(), skin));
}

QVariant TimingColours::font(Mark mark, bool highlighted)
{
    // On a highlighted row an invalid time is told by its stroke alone.
    const bool needed = mark == Invalid && highlighted;
    if ((!instance()->cues() && !needed) || mark == NoMark)
        return QVariant();
    QFont font;
    switch (mark) {
    case SessionBest:
        font.setBold(true);
        break;
    case PersonalBest:
        font.setUnderline(true);
        break;
    case BestInPit:
        font.setItalic(true);
        break;
    case Invalid:
        font.setStrikeOut(true);
        break;
    case NoMark:
        break;
    }
    return font;
}
