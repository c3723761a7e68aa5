#pragma once

#include "TablePanel.h"

class ModelSessionStanding;
class ModelSessionStandingBySector;
class ModelSessionStandingPractice;
class QCheckBox;
class QComboBox;
class QMenu;
class QStackedWidget;
class QTableView;
class QTimer;
class RowFrameDelegate;
class V2DataProvider;

// The live classification: the race columns during a race and the
// practice columns otherwise, with a class filter, a team switch, hidden
// columns of the user's choice and saved column widths and order.
class WidgetStanding final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetStanding)

public:
    enum Page {
        RacePage,
        PracticePage,
        PageCount,
    };

    WidgetStanding(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetStanding() override;

    int currentPage() const;
    QTableView* table(int page) const;
    QComboBox* combo(int page) const;
    QCheckBox* teamBox(int page) const;
    ModelSessionStanding* model(int page) const;
    using TablePanel::columnMenu;
    // The column menu of a page's table (the caller owns it).
    QMenu* columnMenu(int page);
    // Scrolls to the car and frames its row, which the frame follows
    // as positions change, for a few seconds (until a row is pressed or a new
    // session starts, if sooner). A car outside the
    // class shown brings back the overall standings. False when no row shows it.
    bool showCar(const QString& car);
    QString shownCar() const;
    // The framed row of a page's table; -1: none.
    int shownRow(int page) const;

public slots:
    void updateStack();
    void updateCombos();
    void _slotColumnWidthST(int column, int oldWidth, int newWidth);
    void _slotColumnWidthSTPr(int column, int oldWidth, int newWidth);
    void onCustomMenuRequested(QPoint cursorPos);
    void setHiddenColumnsFromSettings();
    void updateHiddenColumnsOnSettings();
    void on_comboBoxRace_currentIndexChanged(int index);
    void on_comboBoxPractice_currentIndexChanged(int index);
    void on_checkBoxRace_stateChanged(int state);
    void on_checkBoxPractice_stateChanged(int arg1);

private:
    struct PageParts {
        QTableView* table = nullptr;
        QComboBox* combo = nullptr;
        QCheckBox* team = nullptr;
        ModelSessionStanding* model = nullptr;
        RowFrameDelegate* frame = nullptr;
    };

    bool offersColumn(const QTableView* view, int column) const override;
    void buildPage(int page);
    void applyTeam(int page, int state);
    void selectClass(int page, int index);
    // Frames the shown car's row again (where it is now); scroll: bring it into view.
    bool markShownCar(bool scroll);
    void forgetShownCar();

    V2DataProvider* m_provider;
    QStackedWidget* m_stack;
    PageParts m_pages[PageCount];
    QString m_shownCar;
    QTimer* m_shownCarTimer;
    bool m_scrollPending = false;
    bool m_marking = false;
};
