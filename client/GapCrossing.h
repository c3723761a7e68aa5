#pragma once

// Which side of a threshold a gap is on, with a band above the threshold so
// that a gap hovering at it does not flap: a gap goes below when it is under
// the threshold and back above only once it is past threshold + hysteresis.
class GapCrossing final
{
public:
    enum Side {
        Unknown,
        Below,
        Above,
    };

    GapCrossing(double threshold = 1.0, double hysteresis = 0.0)
        : m_threshold(threshold)
        , m_hysteresis(hysteresis)
    {
    }

    // Takes a gap in seconds (negative: not known, ignored) and returns the
    // side it has just crossed to, or Unknown. The first known gap only
    // sets the side.
    Side update(double gap)
    {
        if (gap < 0)
            return Unknown;
        const Side before = m_side;
        if (gap < m_threshold)
            m_side = Below;
        else if (gap > m_threshold + m_hysteresis || m_side == Unknown)
            m_side = Above;
        return before != Unknown && before != m_side ? m_side : Unknown;
    }
    Side side() const { return m_side; }

private:
    double m_threshold;
    double m_hysteresis;
    Side m_side = Unknown;
};
