#pragma once

#include <QObject>
#include <QString>

class QActionGroup;
class QMainWindow;
class QMenu;
class QSettings;

// The display choices of the Layout menu: the skin (dark, light or high
// contrast) with its style sheet, the timing colours (classic or safe for
// colour-blind eyes) and their cue without colour, and the text size of
// every panel, which a named layout keeps. The main window relays the skin
// to the panels; the text size reaches the open panels here.
class DisplayMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DisplayMenu)

public:
    // Settings keys: the text size in force (top level) and in a layout's group.
    static const QString kTextScaleKey;
    // The sizes offered, as factors of the panel font.
    static const QList<qreal>& textScales();

    // Adds the actions at the end of menu, applies the stored skin's style
    // sheet and the stored text size (before any panel is made).
    DisplayMenu(QMenu* menu, QMainWindow* window);
    ~DisplayMenu() override;

    QString skin() const;
    // Checks the skin's action, stores it, applies its style sheet and announces it.
    void chooseSkin(const QString& skin);
    static QString styleSheet(const QString& skin);

    // Sets the text size of every panel, open or to come, and of the menus.
    void setTextScale(qreal scale);
    // A layout's text size, when it keeps one; else the size stays.
    void loadTextScale(const QString& layout);
    // Writes the text size into the layout group the caller has open.
    void saveTextScale(QSettings& settings) const;

signals:
    void skinChanged(QString skin);

private:
    void skinToggled(const QString& skin, bool checked);
    void checkSkin(const QString& skin);
    void checkTextScale();

    QMainWindow* m_window;
    QMenu* m_menu;
    QString m_skin;
};
