#pragma once

#include <QDialog>

class QDoubleSpinBox;
class QLabel;

// Asks for the interface scale factor; the new value takes effect at the
// next start, which the dialog says once the value is changed.
class DialogScaleFactor final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogScaleFactor)

public:
    DialogScaleFactor(double value, QWidget* parent = nullptr);
    ~DialogScaleFactor() override;

    double value() const;

private slots:
    void on_doubleSpinBox_valueChanged(double arg1);

private:
    QDoubleSpinBox* m_spinBox;
    QLabel* m_restartNote;
};
