// Lanterra: the program's entry point.
#include "MainWindow.h"
#include "RecordingControls.h"
#include "StartUp.h"
#include "ToolWindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv)
{
    StartUp::tuneAllocator();
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES);
    StartUp::setApplicationIdentity();
    StartUp::prepareLogging();
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    // Before the application object: the toolkit reads the scale when it starts.
    StartUp::applyScaleFactor();

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live timing for race teams."));
    parser.addHelpOption();
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Record every line received from the timing server into FILE (.gz compresses)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption replay(QStringLiteral("replay"), QStringLiteral("Play the recording FILE instead of connecting to the timing server."),
                                    QStringLiteral("FILE"));
    parser.addOptions({record, replay});
    parser.process(app);

    QApplication::setFont(ToolWindow::panelFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/mainIcon")));
    int code;
    {
        MainWindow window;
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
