#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every target shares: an application object for the toolkit, a
// quiet log (the library logs every refused line), and a way to stop on a
// broken property with the evidence.
namespace FuzzSupport {

inline void quietApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

// A copy: the library may rely on the terminating zero that QByteArray keeps.
inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}

[[noreturn]] inline void broken(const char* property, const QByteArray& evidence)
{
    std::fprintf(stderr, "property broken: %s\n%s\n", property, evidence.constData());
    std::abort();
}

} // namespace FuzzSupport
