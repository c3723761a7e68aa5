#pragma once

#include <QDialog>
#include <QStringList>

class MainWindow;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class V2DataProvider;

// Window → "Find a car...": the user types a number or part of a driver's or
// team's name, picks from the cars that match (Up and Down from the text,
// Enter takes the one picked), and the standings scroll to the car and
// highlight it, while the stints, drive-time and pit-window panels that are
// open switch to it. The standings panel opens when it is closed.
class FindCar final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(FindCar)

public:
    FindCar(V2DataProvider* provider, QWidget* parent = nullptr);
    ~FindCar() override;

    // The cars of the entry list that match: the number itself, then
    // numbers that begin with the text, then (unless the text is all digits)
    // cars with a driver or the team containing it (any case), each group in
    // car-number order.
    static QStringList matches(const V2DataProvider* provider, const QString& text);
    // Shows the car in the window's panels, as described above.
    static void showCar(MainWindow* window, const QString& car);
    // Asks for a car and shows it.
    static void run(MainWindow* window);

    QLineEdit* textField() const;
    QListWidget* matchList() const;
    // The car picked in the list (empty when none).
    QString chosenCar() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refill();

    const V2DataProvider* m_provider;
    QLineEdit* m_text;
    QListWidget* m_matches;
    QDialogButtonBox* m_buttons;
};
