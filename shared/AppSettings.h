#pragma once

#include <QString>

#include <memory>

class QSettings;

// The program's settings store: an INI file in the user's configuration
// folder, named after the organisation and the application.
namespace AppSettings {

std::unique_ptr<QSettings> open();

// The skin in force ("Dark", "Light" or "HighContrast"), under the key the
// main window writes.
extern const QString kSkinKey;
extern const QString kDarkSkin;
extern const QString kLightSkin;
extern const QString kHighContrastSkin;
QString skin();
// Whether a skin paints light text on a dark ground (the dark and the
// high-contrast skins): tables and charts choose their text colours by it.
bool isDarkSkin(const QString& skin);

} // namespace AppSettings
