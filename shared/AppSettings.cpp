#include "AppSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace AppSettings {

const QString kSkinKey = QStringLiteral("skin");

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

QString skin()
{
    return open()->value(kSkinKey, QStringLiteral("Dark")).toString();
}

} // namespace AppSettings
