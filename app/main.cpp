// Lanterra: the program's entry point.
#include "AppSettings.h"
#include "BroadcastDelay.h"
#include "BuiltInLayouts.h"
#include "ClientV2Controller.h"
#include "MainWindow.h"
#include "PaintStats.h"
#include "RecordingControls.h"
#include "StartUp.h"
#include "ToolWindow.h"
#include "V2DataProvider.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    StartUp::tuneAllocator();
    StartUp::cacheLargeGlyphs();
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES);
    StartUp::setApplicationIdentity();
    StartUp::prepareLogging();
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    // Before the application object: the toolkit reads the scale when it starts.
    StartUp::applyScaleFactor();

    QApplication app(argc, argv);
    const std::unique_ptr<PaintStats> paintStats(PaintStats::installIfAsked(nullptr));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live timing for race teams."));
    parser.addHelpOption();
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Record every line received from the timing server into FILE (.gz compresses)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption replay(QStringLiteral("replay"), QStringLiteral("Play the recording FILE instead of connecting to the timing server."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Hold the timing back SECONDS (0 to %1) to match the television picture.").arg(BroadcastDelay::MaxSeconds),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption connect(QStringLiteral("connect"), QStringLiteral("Store the timing server to connect to, keeping every other setting; the password is read from %1.").arg(QLatin1String(StartUp::kPasswordVariable)),
                                     QStringLiteral("USER@HOST:PORT"));
    const QCommandLineOption layout(QStringLiteral("layout"), QStringLiteral("Open the named layout NAME (\"Pit wall\", \"Strategy\" or one saved)."),
                                    QStringLiteral("NAME"));
    parser.addOptions({record, replay, delay, connect, layout});
    parser.process(app);
    if (parser.isSet(connect)) {
        QString error;
        if (!StartUp::storeConnection(parser.value(connect), &error)) {
            std::fprintf(stderr, "lanterra: %s\n", qPrintable(error));
            return 2;
        }
    }
    if (parser.isSet(layout))
        StartUp::storeLayout(BuiltInLayouts::optionLayout(*AppSettings::open(), parser.value(layout)));
    int delaySeconds = 0;
    if (parser.isSet(delay)) {
        QString error;
        if (!BroadcastDelay::parseSeconds(parser.value(delay), &delaySeconds, &error)) {
            std::fprintf(stderr, "lanterra: %s\n", qPrintable(error));
            return 2;
        }
    }

    QApplication::setFont(ToolWindow::panelFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/mainIcon")));
    int code;
    {
        MainWindow window;
        window.dataProvider()->controller()->delay()->setSeconds(delaySeconds);
        if (parser.isSet(record)) {
            QString error;
            if (!window.recordingControls()->startRecording(parser.value(record), &error)) {
                std::fprintf(stderr, "lanterra: %s\n", qPrintable(error));
                return 2;
            }
        }
        window.show();
        if (parser.isSet(replay)) {
            QString error;
            if (!window.recordingControls()->openRecording(parser.value(replay), &error, true) && !error.isEmpty()) {
                std::fprintf(stderr, "lanterra: %s\n", qPrintable(error));
                return 2;
            }
        }
        code = app.exec();
    }
    return code;
}
