// SPDX-License-Identifier: GPL-3.0-or-later
// The tag scan behind a broken description: real firmware leaves tags open, repeats closing
// tags or sends bytes that are not UTF-8, and the services are still plain to see.
#include "router/upnp/DescriptionParts.h"

#include <algorithm>
#include <optional>

namespace {

bool isNameByte(char c) {
    return c != '>' && c != '/' && c != ' ' && c != '\t' && c != '\r' && c != '\n';
}

// The five named entities and character references; anything else stays as written.
QString decoded(QByteArrayView raw) {
    const QString text = QString::fromUtf8(raw);
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Looked for no further than the longest reference, so that a run of '&' stays linear.
        const qsizetype semi = text.at(i) == QLatin1Char('&')
                                   ? QStringView(text)
                                         .sliced(i, std::min<qsizetype>(12, text.size() - i))
                                         .indexOf(u';')
                                   : -1;
        if (semi < 0) {
            out += text.at(i);
            continue;
        }
        const QStringView name = QStringView(text).sliced(i + 1, semi - 1);
        char32_t c = 0;
        if (name == u"lt")
            c = '<';
        else if (name == u"gt")
            c = '>';
        else if (name == u"amp")
            c = '&';
        else if (name == u"quot")
            c = '"';
        else if (name == u"apos")
            c = '\'';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
            const uint n = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && (n >= 0x20 || n == 0x9 || n == 0xA || n == 0xD) && n <= 0x10FFFF &&
                (n < 0xD800 || n > 0xDFFF))
                c = n;
        }
        if (c == 0) {
            out += text.at(i);
            continue;
        }
        out += QString::fromUcs4(&c, 1);
        i += semi;
    }
    return out;
}

// One tag of the document, by its local name in lower case.
struct Tag {
    QByteArray name;
    bool closing = false;
    bool empty = false;   // <name/>
    qsizetype textAt = 0; // first byte after the tag
};

class TagScanner {
public:
    explicit TagScanner(const QByteArray& xml) : xml_(xml) {}

    // The next tag; false at the end, or on a document type declaration (then dtd()).
    bool next(Tag& tag);
    bool dtd() const { return dtd_; }
    // The character data from `at` to the next tag.
    QString textAt(qsizetype at) const {
        const qsizetype end = xml_.indexOf('<', at);
        return decoded(QByteArrayView(xml_).sliced(at, (end < 0 ? xml_.size() : end) - at));
    }

private:
    // Past the end of the construct opened at at_, or false when it never ends.
    bool skipPast(const char* end) {
        const qsizetype found = xml_.indexOf(end, at_);
        if (found < 0)
            return false;
        at_ = found + qsizetype(qstrlen(end));
        return true;
    }

    const QByteArray& xml_;
    qsizetype at_ = 0;
    bool dtd_ = false;
};

bool TagScanner::next(Tag& tag) {
    for (;;) {
        at_ = xml_.indexOf('<', at_);
        if (at_ < 0 || at_ + 1 >= xml_.size())
            return false;
        const QByteArrayView rest = QByteArrayView(xml_).sliced(at_);
        if (rest.startsWith("<!--")) {
            if (!skipPast("-->"))
                return false;
            continue;
        }
        if (rest.startsWith("<![CDATA[")) {
            if (!skipPast("]]>"))
                return false;
            continue;
        }
        if (rest.startsWith("<!")) {
            dtd_ = true;
            return false;
        }
        if (rest.startsWith("<?")) {
            if (!skipPast("?>"))
                return false;
            continue;
        }
        const qsizetype close = xml_.indexOf('>', at_);
        if (close < 0)
            return false;
        tag.closing = xml_.at(at_ + 1) == '/';
        qsizetype from = at_ + (tag.closing ? 2 : 1);
        qsizetype to = from;
        while (to < close && isNameByte(xml_.at(to)))
            ++to;
        const qsizetype colon = QByteArrayView(xml_).sliced(from, to - from).lastIndexOf(':');
        if (colon >= 0)
            from += colon + 1;
        tag.name = xml_.mid(from, to - from).toLower();
        tag.empty = xml_.at(close - 1) == '/';
        tag.textAt = close + 1;
        at_ = close + 1;
        return true;
    }
}

// The parts, as the tags come.
class PartsCollector {
public:
    explicit PartsCollector(TagScanner& scanner) : scanner_(scanner) {}

    // False when a limit is crossed.
    bool take(const Tag& tag);
    // The parts once every tag is taken, or nothing without a device.
    std::optional<DescriptionParts> finish();

private:
    bool open(const Tag& tag);
    void endService();
    QString* rootField(const QByteArray& name);

    TagScanner& scanner_;
    DescriptionParts parts_;
    std::optional<ServiceDraft> service_;
    int devices_ = 0;
    int depth_ = 0;
};

bool PartsCollector::take(const Tag& tag) {
    if (!tag.closing)
        return open(tag);
    if (tag.name == "device")
        depth_ = std::max(depth_ - 1, 0);
    else if (tag.name == "service" || tag.name == "servicelist")
        endService();
    return true;
}

bool PartsCollector::open(const Tag& tag) {
    if (tag.name == "device") {
        if (tag.empty)
            return true;
        endService();
        return ++devices_ <= MaxDevices && ++depth_ <= MaxDeviceNesting;
    }
    if (tag.name == "service") {
        endService();
        if (parts_.drafts.size() >= MaxServices)
            return false;
        service_ = ServiceDraft{};
        return true;
    }
    const QString text = tag.empty ? QString() : scanner_.textAt(tag.textAt);
    if (service_) {
        if (tag.name == "servicetype")
            service_->serviceType = Compacted(text);
        else if (tag.name == "serviceid")
            service_->serviceId = Compacted(text);
        else if (tag.name == "controlurl")
            service_->controlUrl = Compacted(text);
    } else if (tag.name == "urlbase") {
        if (parts_.urlBase.isEmpty())
            parts_.urlBase = Compacted(text);
    } else if (depth_ == 1) {
        if (QString* field = rootField(tag.name); field && field->isEmpty())
            *field = text;
    }
    return true;
}

void PartsCollector::endService() {
    if (service_)
        parts_.drafts.append(*service_);
    service_.reset();
}

QString* PartsCollector::rootField(const QByteArray& name) {
    if (name == "devicetype")
        return &parts_.rootType;
    if (name == "friendlyname")
        return &parts_.root.friendlyName;
    if (name == "manufacturer")
        return &parts_.root.manufacturer;
    if (name == "modelname")
        return &parts_.root.modelName;
    if (name == "modelnumber")
        return &parts_.root.modelNumber;
    if (name == "udn")
        return &parts_.root.udn;
    return nullptr;
}

std::optional<DescriptionParts> PartsCollector::finish() {
    endService();
    if (devices_ == 0)
        return std::nullopt;
    parts_.rootType = Compacted(parts_.rootType);
    parts_.root.udn = Compacted(parts_.root.udn);
    return parts_;
}

} // namespace

QString Compacted(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (!c.isSpace())
            out += c;
    return out;
}

std::optional<DescriptionParts> ScanDescriptionTags(const QByteArray& xml) {
    if (xml.size() > MaxDescriptionBytes)
        return std::nullopt;
    TagScanner scanner(xml);
    PartsCollector parts(scanner);
    Tag tag;
    while (scanner.next(tag)) {
        if (!parts.take(tag))
            return std::nullopt;
    }
    if (scanner.dtd())
        return std::nullopt;
    return parts.finish();
}
