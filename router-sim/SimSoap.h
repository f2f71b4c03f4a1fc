// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated IGD's SOAP: a control request's envelope read into a call, and the envelopes
// of its answers and faults.

#include <QByteArray>
#include <QList>
#include <QString>

#include <initializer_list>
#include <utility>

namespace SimSoap {

// One SOAP call: the action and its arguments, in the order they came.
struct Call {
    QByteArray action;
    QList<std::pair<QByteArray, QString>> args;
    QString peer;
    int bad = 0; // a fault found while reading the arguments

    // True when the arguments are exactly these names in this order.
    bool expect(std::initializer_list<const char*> names) const;
    QString text(const char* name) const;
    qint64 number(const char* name, qint64 max);
    quint16 port(const char* name) { return static_cast<quint16>(number(name, 65535)); }
    bool boolean(const char* name);
    // Strict routers take the protocol in upper case only.
    QString protocol(const char* name);
};

// What read() returns for a body that is no SOAP envelope at all (answered 400 Bad Request).
constexpr int Malformed = -1;

// Reads the action named by the SOAPAction header and in the body of a request to a service
// of `serviceType` into `call`: 0, Malformed, or the fault to answer (401 or 402).
int read(const QByteArray& soapAction, const QByteArray& body, const QString& serviceType,
         Call& call);

QByteArray xmlEscape(const QString& text);
QByteArray argument(const char* name, const QByteArray& value);
QByteArray argument(const char* name, qint64 value);

// The bodies of a fault with a UPnP error code and of an action's answer with its arguments.
QByteArray fault(int code);
QByteArray success(const QByteArray& action, const QByteArray& serviceType, const QByteArray& out);

// How a router's firmware writes its answers, where it differs from the simulator's own.
struct Style {
    QByteArray envelopePrefix = "s"; // "SOAP-ENV" on some firmware
    QByteArray responsePrefix = "u"; // "m" on some firmware
    enum class FaultNames { Standard, Camel, Lower };
    FaultNames faultNames = FaultNames::Standard; // faultCode... or upnperror, errorcode...
    bool http10 = false; // HTTP/1.0 without Content-Length, ended by closing the connection

    bool plain() const {
        return envelopePrefix == "s" && responsePrefix == "u" &&
               faultNames == FaultNames::Standard && !http10;
    }
};

// One of the simulator's complete HTTP answers written in `style`.
QByteArray restyled(const QByteArray& answer, const Style& style);

} // namespace SimSoap
