#pragma once

#include <QHostAddress>
#include <QString>

namespace edi {

class IniFile;

// Section WEB of the configuration: where the monitor's web page listens and how it is guarded.
struct WebSettings {
    static constexpr quint16 kDefaultPort = 8080;

    QHostAddress address = QHostAddress::LocalHost;  // LISTEN: ADDRESS:PORT (default 127.0.0.1:8080)
    quint16 port = kDefaultPort;
    QString certificate;  // CERT: the TLS certificate (PEM)
    QString privateKey;   // KEY: its private key (PEM)
    QString usersFile;    // USERS: the user file written by "edi-auto web --add-user"
    QString problem;      // why a value could not be read; empty when all could

    bool tls() const { return !certificate.isEmpty() || !privateKey.isEmpty(); }
    // Readers on this address come from this machine only: no login is asked.
    bool loopback() const { return address.isLoopback(); }
};

// Relative file names are read from configFolder, the folder of EDI.ini.
WebSettings readWebSettings(const IniFile& ini, const QString& configFolder);
// "ADDRESS:PORT", "[IPv6]:PORT", or a port alone; false for anything else.
bool parseListenAddress(const QString& text, QHostAddress& address, quint16& port);

}  // namespace edi
