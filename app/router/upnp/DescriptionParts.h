// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a root description is read into before its services are weighed: by the XML reader,
// or by the tag scan for documents whose markup is broken.

#include "router/upnp/DeviceDescription.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct ServiceDraft {
    QString serviceType;
    QString serviceId;
    QString controlUrl;
};

struct DescriptionParts {
    QString urlBase;
    QString rootType;
    UpnpDeviceInfo root; // as written, not yet cleaned for display
    QList<ServiceDraft> drafts;
};

// The text with every whitespace character removed: firmware breaks lines inside types, URLs
// and UDNs, none of which can hold a space.
QString Compacted(QStringView text);

// Reads the same parts by their tags alone, for a document the XML reader refused as broken:
// element names by local name and without case, texts up to the next tag, entities decoded.
// Nothing when it holds a document type declaration, no device, or goes over the limits on
// devices, their nesting and services.
std::optional<DescriptionParts> ScanDescriptionTags(const QByteArray& xml);
