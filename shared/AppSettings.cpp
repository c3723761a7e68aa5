#include "AppSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace AppSettings {

const QString kSkinKey = QStringLiteral("skin");
const QString kDarkSkin = QStringLiteral("Dark");
const QString kLightSkin = QStringLiteral("Light");
const QString kHighContrastSkin = QStringLiteral("HighContrast");

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

QString skin()
{
    return open()->value(kSkinKey, kDarkSkin).toString();
}

bool isDarkSkin(const QString& skin)
{
    return skin == kDarkSkin || skin == kHighContrastSkin;
}

} // namespace AppSettings
