#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QSettings;
class QTimer;

// The base of every panel: a frameless floating window with its own title
// bar (minimise, maximise, close), moved by the title bar and resized by its
// left, right and bottom edges, with an optional thin grey frame and a
// settings group for its geometry; the group, and the place taken where a
// layout has none, come from the panel's registry row (`setPlace`). Panels
// embedded in other panels use it with floating off and get none of the
// window behaviour.
class ToolWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(ToolWindow)

public:
    enum Edge {
        NoEdge = 0,
        LeftEdge = 1,
        RightEdge = 2,
        BottomEdge = 3,
        BottomLeftEdge = 4,
        BottomRightEdge = 5,
    };

    ToolWindow(QWidget* parent, bool floating);
    ~ToolWindow() override;

    // The panel's settings group inside a layout, and its place (and whether
    // it shows) where a layout has none for it.
    void setPlace(const QString& group, const QRect& defaultGeometry, bool defaultShow);
    virtual void saveWidgetGeometry(QSettings& settings);
    // Reads x, y, w, h and show from the panel's group, with its place as defaults.
    virtual void loadWidgetGeometry(QSettings& settings);

    // Display options the main window hands on to the panels that use them;
    // the defaults ignore them.
    virtual void setUsaUnits(bool on);
    virtual void setBikeLayout(bool bikes);
    virtual void setNewestFirst(bool on);
    virtual void setUseOpenGL(bool on);
    // The panel ids of the follow panel's blocks, in order; empty elsewhere.
    virtual QList<int> followSlots() const;

    void setTitleBarText(const QString& text);
    void setShowBorder(bool on);
    bool showBorder() const;
    // Whether the panel can be seen: shown and not minimised (an embedded
    // panel: shown in a panel that can be seen). A panel that cannot be seen
    // does no model or drawing work; it catches up when shown (`showingChanged`).
    bool isShowing() const;
    // A clock that only refreshes what the panel shows stops while the panel
    // cannot be seen; shown again, `tick` runs at once and a clock that was
    // running goes on.
    void runWhileShowing(QTimer* clock, std::function<void()> tick);
    // Marks the panel's data as not live (the connection is lost).
    void setStale(bool stale);
    bool isStale() const;
    bool isFloating() const;
    QString groupName() const;
    int resizeEdge() const;
    // The widget a panel puts its form into (the window itself when not floating).
    QWidget* contentWidget() const;

    // The panel font, at the text size the user chose for the whole program.
    static QFont panelFont();
    static int panelFontPointSize(qreal logicalDpi);
    // The text size: a factor of the panel font (1 as designed, up to 2 to be
    // read from across the garage). Panels made afterwards take it; open
    // ones take it through `applyTextScale`.
    static qreal textScale();
    static void setTextScale(qreal scale);
    // The height of a table row in the panel font (19 pixels at size 1).
    static int rowHeight();
    // Takes the text size in force into this panel and the panels embedded in it.
    void applyTextScale();
    // Which resize zone a point of a widget of that size lies in.
    static Edge edgeAt(const QPoint& position, const QSize& size, int edgeWidth);

signals:
    void state(bool visible);
    void updateSkin(QString skin);
    // The panel can be seen again, or no longer (hidden, closed, minimised,
    // restored); emitted on the change only, before the panel paints.
    void showingChanged(bool showing);

public slots:
    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The text size changed from `oldScale` to the one in force: the panel
    // font is set again; panels that size things by the font follow it.
    virtual void textScaleChanged(qreal oldScale);

private:
    void buildTitleBar();
    void toggleMaximized();
    // Works out whether the panel can be seen and announces a change, to the
    // panels embedded in it too.
    void updateShowing();

    QString m_groupName;
    QRect m_defaultGeometry;
    bool m_defaultShow = false;
    QWidget* m_titleBar = nullptr;
    QWidget* m_content = nullptr;
    QLabel* m_titleLabel = nullptr;
    QPushButton* m_minimize = nullptr;
    QPushButton* m_maximize = nullptr;
    QPushButton* m_close = nullptr;
    int m_edge = NoEdge;
    QPoint m_dragOffset;
    int m_edgeWidth = 6;
    bool m_floating;
    bool m_showBorder = true;
    bool m_stale = false;
    // Until first hidden a panel counts as seen: one made and never shown
    // (as in a test) works as before.
    bool m_showing = true;
    // The text size this panel was last laid out for.
    qreal m_textScale = 1;
};
