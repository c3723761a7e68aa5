#pragma once

#include <QString>

#include <memory>

class QSettings;

// The program's settings store: an INI file in the user's configuration
// folder, named after the organisation and the application.
namespace AppSettings {

std::unique_ptr<QSettings> open();

// The skin in force ("Dark" or "Light"), under the key the main window writes.
extern const QString kSkinKey;
QString skin();

} // namespace AppSettings
