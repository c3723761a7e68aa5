#pragma once

#include "StartUp.h"

#include <QSettings>
#include <QTemporaryDir>

// The settings a test object works with: a temporary folder in place of the
// user's, under the program's own names. A member of the test object, so
// in place before its first test runs.
class TestSettings final
{
    Q_DISABLE_COPY(TestSettings)

public:
    TestSettings()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_folder.path());
        StartUp::setApplicationIdentity();
    }

    // A file in the temporary folder.
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_folder;
};
