#pragma once

#include <QByteArray>
#include <QString>

// The program's start-up steps that come before the application object.
namespace StartUp {

// The settings keys of the connection the main window starts with, which
// --connect and the connection dialog write.
extern const QString kHostKey;
extern const QString kPortKey;
extern const QString kUserKey;
extern const QString kPasswordKey;
// The layout the main window opens with, which --layout writes.
extern const QString kLastLayoutKey;

// Organisation "Veltrano Systems", application "Lanterra", version 2.3.19.
void setApplicationIdentity();
// Creates the log folder beside the settings file and installs the log handler.
void prepareLogging();
// Reads "appScaleFactor" (default 1) and puts it into QT_SCALE_FACTOR, in the
// shortest general notation of up to six significant digits; returns it.
QByteArray applyScaleFactor();
// Allocator settings for a program that builds and frees trees of millions
// of small nodes (a 24-hour session): freed nodes are merged at once instead
// of being kept aside and merged, all together, by the next large
// allocation, which would stall whoever makes it.
void tuneAllocator();
// The toolkit draws text above 64 pixels as outlines, filled again at every
// paint: a clock filling its panel filled eight glyphs of 300 pixels every
// second. Glyphs up to 1024 pixels are drawn once into its glyph cache and
// copied from there. A value already in the environment stands. Before the
// first text is drawn: the toolkit reads it once.
void cacheLargeGlyphs();
// Where storeConnection takes the password from.
constexpr char kPasswordVariable[] = "LANTERRA_PASSWORD";
// Reads "USER@HOST:PORT" and stores the connection the main window starts
// with (host, port, user, and the password from kPasswordVariable when set,
// else the stored one stays), touching no other setting; false with the
// reason for a text of another shape. "USER:PASSWORD@HOST:PORT" is still read.
bool storeConnection(const QString& text, QString* error);
// Makes name the layout the main window opens with.
void storeLayout(const QString& name);

} // namespace StartUp
