#include "LaidOutTexts.h"

LaidOutTexts::LaidOutTexts(const QFont& font, int most)
    : m_font(font)
    , m_most(most)
{
}

const QFont& LaidOutTexts::font() const
{
    return m_font;
}

const QStaticText& LaidOutTexts::text(const QString& text)
{
    const auto found = m_newer.constFind(text);
    if (found != m_newer.constEnd())
        return *found;
    if (m_newer.size() >= m_most) {
        m_older = std::move(m_newer);
        m_newer.clear();
    }
    const auto older = m_older.constFind(text);
    if (older != m_older.constEnd())
        return *m_newer.insert(text, *older);
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), m_font);
    return *m_newer.insert(text, laid);
}

int LaidOutTexts::size() const
{
    return m_newer.size() + m_older.size();
}
