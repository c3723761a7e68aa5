#pragma once

#include "TablePanel.h"

#include <QColor>
#include <QMap>

class ModelSessionLapForCarFollow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class V2DataProvider;

// One follow block: the laps of one car in the block's colour, which the
// other panels use to highlight that car; its table exports as CSV.
class WidgetCarFollow final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetCarFollow)

public:
    WidgetCarFollow(V2DataProvider* provider, int panelId, QWidget* parent = nullptr);
    ~WidgetCarFollow() override;

    void loadWidgetGeometry(QSettings& settings) override;
    void setBikeLayout(bool bikes) override;

    int panelId() const;
    QString participant() const;
    QColor color() const;
    // Gives the block its colour (registered with the provider) and its car.
    void setColor(const QColor& color);
    void setParticipant(const QString& pNum);
    // Takes over a block the team's channel changed (nothing is uploaded).
    void takeOver(const QString& pNum, const QColor& color);
    QTableView* table() const;
    ModelSessionLapForCarFollow* model() const;
    QLineEdit* participantEdit() const;
    // The widths the user gave the columns (at text size 1), shared by every block.
    QMap<int, int> columnWidths() const;
    void applyColumnWidths(const QMap<int, int>& widths);
    // Shows and hides the columns as the user last chose in any block.
    void readColumnChoice();
    // Writes the table as CSV; false with the reason when it cannot.
    bool exportCsv(const QString& fileName, QString* error) const;

    static QColor defaultColor(int index);

signals:
    void onRemoveWidget(int);
    void onColumnWidthChanged(int);
    // The user showed or hid a column from the menu (already saved).
    void columnsChosen(int);

public slots:
    void updateTableConfig();
    void processScrolls();
    void processScrollCar1(QString pNum);
    void _slotColumnWidthChangedCar1(int column, int oldWidth, int newWidth);
    void on_pushButtonRemoveWidget_clicked();
    void on_pushButtonColorPick_clicked();
    void on_checkBox_Car_Scroll_1_stateChanged(int arg1);
    void on_pushButtonDownloadCSV_clicked();
    void on_lineEditSessionLapCar1_editingFinished();
    void loadSettings();
    void tableConfig();

protected:
    void columnChoiceChanged(QTableView* view) override;
    void textScaleChanged(qreal oldScale) override;

private:
    // Uploads the block after the user changed it, when sharing is on.
    void shareBlock();
    void showColor();
    // Hides the sections and sectors the track has not.
    void showAbsentColumns();

    V2DataProvider* m_provider;
    int m_panelId;
    QString m_participant;
    QColor m_color;
    ModelSessionLapForCarFollow* m_model;
    QSortFilterProxyModel* m_proxy;
    QLabel* m_caption;
    QLineEdit* m_edit;
    QTableView* m_table;
    QPushButton* m_colorButton;
    QCheckBox* m_autoScroll;
    QMap<int, int> m_columnWidths;
    // Widths set by the program are not the user's.
    bool m_applyingWidths = false;
};
