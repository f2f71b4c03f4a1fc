// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

// Answer size limits: a SOAP answer, and the one action whose answer is a whole table.
inline constexpr qsizetype MaxSoapBytes = 64 * 1024;
inline constexpr qsizetype MaxListingBytes = 1024 * 1024;
// Mapping tables are read no further than this many entries.
inline constexpr int MaxListedMappings = 1024;

// UPnP error codes Harborly reacts to.
namespace UpnpError {
inline constexpr int InvalidAction = 401;
inline constexpr int InvalidArgs = 402;
inline constexpr int ActionFailed = 501;
inline constexpr int NotAuthorized = 606;
inline constexpr int ArrayIndexInvalid = 713;
inline constexpr int NoSuchEntry = 714;
inline constexpr int WildCardInSrcIp = 715;
inline constexpr int WildCardInExtPort = 716;
inline constexpr int Conflict = 718;
inline constexpr int SamePortValuesRequired = 724;
inline constexpr int OnlyPermanentLeases = 725;
inline constexpr int RemoteHostOnlyWildcard = 726;
inline constexpr int ExternalPortOnlyWildcard = 727;
inline constexpr int NoPortMapsAvailable = 728;
inline constexpr int ConflictWithOtherMechanisms = 729;
inline constexpr int PortMappingNotFound = 730;
} // namespace UpnpError

using SoapArguments = QList<std::pair<QByteArray, QString>>;

// `&`, `<`, `>` (and quotes, for attributes) as entities; characters XML cannot carry dropped.
QByteArray XmlEscape(const QString& text);

// "host:port" for the Host header: an IPv6 literal in brackets and without its zone (the zone
// only names this computer's interface toward a link-local router).
QByteArray HostHeader(const QUrl& url);

// The whole POST for one action: request line, headers (Host always with its port), CR LF,
// the compact envelope. Empty when the service type or action could break out of its header.
QByteArray BuildSoapRequest(const QUrl& controlUrl, const QString& serviceType,
                            const QString& action, const SoapArguments& arguments);

enum class SoapOutcome {
    Ok,
    Fault,        // a UPnP error code came back: errorCode
    UnknownFault, // HTTP 500 without a readable code
    BadAnswer,    // 200 that does not carry <action>Response
    HttpError,    // any other HTTP status (401/403: authentication wanted, 404: stale URL, 503)
    Unreachable,  // no connection to the router
    TimedOut,
    TooLarge,
    Malformed, // the HTTP framing itself was broken
    Refused,   // not sent: the request would have left the router or was not well-formed
    Busy,      // not sent: another exchange with the router is waiting
};

struct SoapAnswer {
    SoapOutcome outcome = SoapOutcome::Unreachable;
    int httpStatus = 0;
    int errorCode = 0;
    QString errorDescription;
    QList<std::pair<QString, QString>> values; // out-arguments by local name, in order

    bool ok() const { return outcome == SoapOutcome::Ok; }
    bool isFault(int code) const { return outcome == SoapOutcome::Fault && errorCode == code; }
    // An out-argument by local name, case ignored; empty when missing.
    QString value(QStringView name) const;
};

// Reads the answer to `action`: out-arguments from the element named "<action>Response"
// inside Body, or the fault's errorCode, by local names with case ignored. An answer whose XML
// is broken still gives its code when `<errorCode>digits</errorCode>` stands in the bytes.
SoapAnswer ParseSoapAnswer(int httpStatus, const QByteArray& body, const QString& action);

// "1", "true", "yes" (any case) are true.
bool ParseUpnpBoolean(const QString& text);

struct PortMappingEntry {
    QString remoteHost;
    quint16 externalPort = 0;
    QString protocol; // "TCP" or "UDP"
    quint16 internalPort = 0;
    QString internalClient;
    bool enabled = true;
    QString description;
    quint32 leaseDuration = 0; // remaining seconds on most routers; 0 = permanent

    bool operator==(const PortMappingEntry&) const = default;
};

// An entry from the out-arguments of GetGenericPortMappingEntry, or of
// GetSpecificPortMappingEntry with the key it was asked for. Nothing when ports or protocol
// are not usable.
std::optional<PortMappingEntry> EntryFromAnswer(const SoapAnswer& answer);

// The NewPortListing document of GetListOfPortMappings (its text after the SOAP answer's own
// unescaping or CDATA). Nothing when it is not well-formed or has a DTD.
std::optional<QList<PortMappingEntry>> ParsePortListing(const QByteArray& listing);
