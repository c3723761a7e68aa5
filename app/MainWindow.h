#pragma once

#include "PanelRegistry.h"

#include <QMainWindow>

#include <array>

class AlertPresenter;
class AlertsMenu;
class CertificateTrust;
class ConnectionWatch;
class DisplayMenu;
class QAction;
class QLabel;
class QMenu;
class QSettings;
class QSystemTrayIcon;
class RecordingControls;
class ToolWindow;
class V2DataProvider;

// The program's only top-level window: a menu bar and a status bar, with
// the panels floating beside it. It owns the data provider, opens and
// closes the panels of the registry, keeps the display options and the
// named layouts, and saves the options and followed cars when it closes.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(const PanelRegistry::Factories& factories = PanelRegistry::factories(), QWidget* parent = nullptr);
    ~MainWindow() override;

    V2DataProvider* dataProvider() const;
    // The open panel of a registry row, or null.
    ToolWindow* panel(int row) const;
    // The "Window" menu action of a registry row (null when the panel is not built).
    QAction* panelAction(int row) const;
    QAction* action(const QString& objectName) const;
    QString currentLayoutName() const;
    QLabel* statusLabel() const;
    // The "Alerts" menu, where alert actions go.
    AlertsMenu* alertsMenu() const;
    // Recording the session and playing recordings back.
    RecordingControls* recordingControls() const;
    QSystemTrayIcon* trayIcon() const;
    // The alerts' count, menu action, notifications and sound.
    AlertPresenter* alertPresenter() const;
    // Skins, timing colours and text size.
    DisplayMenu* displayMenu() const;

    // Named layouts
    void saveWidgetGeometry(QSettings& settings);
    void loadWidgetGeometry(QSettings& settings);
    void applyLayout(const QString& name);
    void saveLayout(const QString& name);
    // Makes name the layout in use; the open panels take its geometry.
    void setLayout(const QString& name);

signals:
    void updateSkin(QString skin);

public slots:
    void onEnableTyresData();
    void onDisableTyresData();
    void lanterraLoginConnected();
    void lanterraLoginDisconnected();
    void lanterraLoginOk();
    void onStaleChanged(bool stale);
    void onCertificateChanged(QString host, int port, QString trustedAs, QByteArray oldFingerprint, QString oldSubject, QByteArray newFingerprint,
                              QString newSubject);

private slots:
    void on_actionLayoutSet_triggered();
    void on_actionLayoutSave_triggered();
    void on_actionEdit_credentials_triggered();
    void on_actionExit_triggered();
    void on_actionBring_all_to_primary_desktop_triggered();
    void on_actionUse_OpenGL_triggered(bool checked);
    void on_actionSort_Messages_Flags_toggled(bool checked);
    void on_actionShow_tool_window_frame_toggled(bool checked);
    void on_actionUse_USA_units_triggered(bool checked);
    void on_actionSet_application_scale_triggered();
    void refreshBikeLayout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildForm();
    QAction* addAction(QMenu* menu, const char* objectName, const QString& text, bool checkable);
    // Opens (creating it when needed) or closes the panel of a row.
    void setPanelOpen(int row, bool open);
    void loadPanelGeometry(ToolWindow* panel);
    // Hands the option's current value to a panel, or to every open panel that takes it.
    void applyOption(ToolWindow* panel, int option) const;
    // The track map's first opening settles whether OpenGL can be used.
    void decideOpenGL(ToolWindow* positioning);
    void passOption(int option);
    QString panelTitle(int row) const;
    void saveFollowedCars();

    PanelRegistry::Factories m_factories;
    std::array<ToolWindow*, PanelRegistry::RowCount> m_panels{};
    std::array<QAction*, PanelRegistry::RowCount> m_panelActions{};
    QString m_currentLayoutName;
    bool m_imperialUnits = false;
    bool m_bikeLayout = false;
    bool m_showBorder = true;
    bool m_newestFirst = false;
    bool m_useOpenGL = true;
    V2DataProvider* m_provider = nullptr;
    QLabel* m_statusLabel = nullptr;
    CertificateTrust* m_trust = nullptr;
    ConnectionWatch* m_watch = nullptr;
    bool m_certificateRefused = false;
    // Logged in: what the status bar says again once the data are live.
    bool m_connected = false;
    QSystemTrayIcon* m_trayIcon = nullptr;
    RecordingControls* m_recording = nullptr;
    AlertsMenu* m_alertsMenu = nullptr;
    AlertPresenter* m_alertPresenter = nullptr;
    DisplayMenu* m_display = nullptr;
};
