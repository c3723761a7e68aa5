#include "AppSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace AppSettings {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

} // namespace AppSettings
