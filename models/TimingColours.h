#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>

// The one source of what a timing cell looks like when its time means
// something: a session (overall) best, a personal best, a best shown while
// the car is in the pit lane, an invalid time. Every table that marks these
// asks here for the cell's background, text colour and font, so the palette
// the user chose (the classic one or one safe for colour-blind eyes) and the
// cue that does not rely on colour (bold, underline, italics, struck out)
// hold alike in the standings, the lap tables, the follow blocks and the
// additional standings. The choice is the program's, not a panel's (the
// Layout menu makes and stores it): models repaint on `changed`.
class TimingColours final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TimingColours)

public:
    enum Palette {
        Classic,    // magenta, cyan, as the program always had
        ColourSafe, // Okabe–Ito orange and sky blue
    };
    enum Mark {
        NoMark,
        SessionBest,  // the best of the session (or of its table)
        PersonalBest, // the car's own best
        BestInPit,    // the car's best sector, shown while it stands in the pit lane
        Invalid,      // a deleted or track-limits time
    };

    static TimingColours* instance();

    Palette palette() const;
    bool cues() const;
    // Take a choice and announce it.
    void setPalette(Palette palette);
    void setCues(bool on);

    // The cell's fill: the palette's colour for a session or personal best,
    // else the row's highlight (a followed car's colour), else none.
    static QVariant background(Mark mark, const QColor& highlight);
    // The cell's text colour in a skin; a highlighted row has dark text.
    static QVariant foreground(Mark mark, const QColor& highlight, const QString& skin);
    // The cue's font (only the cue's attribute set, so the view's font fills
    // the rest), or none when cues are off or the cell has no mark. An
    // invalid time on a highlighted row (dark text there) is struck out
    // with cues off too.
    static QVariant font(Mark mark, bool highlighted = false);
    static QColor fill(Mark mark);
    // A table's ordinary text in a skin, on a highlighted row or not.
    static QColor text(bool highlighted, const QString& skin);

signals:
    void changed();

private:
    TimingColours();

    Palette m_palette = Classic;
    bool m_cues = true;
};
