#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>

// Texts laid out once in one font and kept, for a panel that draws the
// same texts again on every repaint. Two generations of at most `most`
// texts: when the newer one is full the older one goes, and what was
// drawn since stays.
class LaidOutTexts final
{
public:
    explicit LaidOutTexts(const QFont& font = QFont(), int most = 1024);

    const QFont& font() const;
    const QStaticText& text(const QString& text);
    // Texts kept, both generations.
    int size() const;

private:
    QFont m_font;
    int m_most;
    QHash<QString, QStaticText> m_newer;
    QHash<QString, QStaticText> m_older;
};
