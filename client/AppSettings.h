#pragma once

#include <memory>

class QSettings;

// The program's settings store: an INI file in the user's configuration
// folder, named after the organisation and the application.
namespace AppSettings {

std::unique_ptr<QSettings> open();

} // namespace AppSettings
